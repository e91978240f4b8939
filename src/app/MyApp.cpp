#include "app/MyApp.h"

#include "app/CommandLine.h"
#include "app/ExitSignals.h"
#include "app/InstanceChannel.h"

#include "ui/Resources.h"
#include "platform/Internet.h"
#include "platform/SingleInstance.h"
#include "ui/MainFrame.h"
#include "ui/dialogs/AboutThis.h"
#include "ui/dialogs/DialogSupport.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>

namespace {
constexpr int kRaiseMs = 3000;  // the running agent may still be starting
}  // namespace

CMyApp::CMyApp()
{
    setObjectName(QStringLiteral("CMyApp"));
}

CMyApp::~CMyApp()
{
    m_signals.reset();
    delete m_pMainWnd;
}

bool CMyApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orbidex"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    // Task bars and docks match the window to the desktop entry by this id (Wayland) and by
    // the window class, which is the application name above (X11: StartupWMClass).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntryId));
    m_instance = std::make_unique<CSingleInstance>(QString::fromLatin1(kInstanceName));
    const bool first = m_instance->Acquire();
    if (!first && !m_instance->Error().isEmpty()) {
        // Another user's folder must not decide whether this agent runs, nor answer for it.
        std::fprintf(stderr, "%s\n", qPrintable(m_instance->Error()));
        AgentMessageBox(m_instance->Error(), QString::fromLatin1(kAppTitle));
        return false;
    }
    if (!first) {
        // The running agent comes forward; the box still says why no second one starts.
        SendToRunningInstance(QString::fromLatin1(kInstanceName), RequestFor(ECommand::Show),
                              kRaiseMs);
        AgentMessageBox(QStringLiteral("Tolvane's Orbidex is already loaded"),
                        QString::fromLatin1(kAppTitle));
        return false;
    }
    CFrameServices services;
    std::string refusal;
    services.ftpSessions = FtpSessionsFrom(std::getenv("ORBIDEX_FTP_SESSIONS"),
                                           TransferLimits{}.mostFtpSessions, &refusal);
    if (!refusal.empty())
        std::fprintf(stderr, "%s\n", refusal.c_str());
    m_pMainWnd = new CMainFrame(std::move(services));
    if (!m_pMainWnd->LoadFrame()) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
        return false;
    }
    m_pMainWnd->show();
    m_signals = std::make_unique<CExitSignals>([this] {
        if (m_pMainWnd && !m_pMainWnd->Quitting())
            m_pMainWnd->OnExit();
    });
    m_signals->Install();
    m_server = std::make_unique<CInstanceServer>(QString::fromLatin1(kInstanceName));
    m_server->onRequest = [this](const QString& request, bool& keepOpen) {
        return OnRequest(request, keepOpen);
    };
    // Without the channel the agent runs as before; only the second start's raise is lost.
    m_server->Listen();
    return true;
}

QString CMyApp::OnRequest(const QString& request, bool& keepOpen)
{
    CMainFrame* frame = m_pMainWnd;
    if (!frame)
        return {};
    if (request == RequestFor(ECommand::Status))
        return QString::fromStdString(frame->StatusReport());
    if (request == RequestFor(ECommand::TransferNow)) {
        frame->OnTransferNow();
    } else if (request == RequestFor(ECommand::Quit)) {
        // The connection closes with the process, which tells the client it has ended. From
        // the loop, not inside the socket's handler that the exit would delete.
        keepOpen = true;
        QTimer::singleShot(0, frame, &CMainFrame::OnExit);
    } else if (request == RequestFor(ECommand::Pause) || request == RequestFor(ECommand::Resume)) {
        frame->SetPaused(request == RequestFor(ECommand::Pause));
    } else if (request == RequestFor(ECommand::Show)) {
        frame->OnOpenWindow();
    } else {
        return QStringLiteral("unknown request\n");
    }
    return QStringLiteral("ok\n");
}

void CMyApp::OnAbout()
{
    // A new dialog, with no owner, for every command: it opens even while the window is hidden.
    auto about = std::make_unique<CAboutThis>();
    about->RunModal();
}

int RunAgent(int argc, char** argv)
{
    // Help, version, a bad option and the commands for a running agent need no display.
    const CCommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> rc = RunWithoutAgent(line, argc, argv))
        return *rc;
    curl_global_init(CURL_GLOBAL_DEFAULT);  // once, before any thread
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // the agent lives in the tray
    int rc = 0;
    {
        CMyApp theApp;
        app.setProperty("CMyApp", QVariant::fromValue<QObject*>(&theApp));
        if (theApp.InitInstance())
            rc = QApplication::exec();
    }
    curl_global_cleanup();
    return rc;
}
