#include "ui/MainFrame.h"
#include "ui/SourceWatch.h"

#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "platform/Internet.h"
#include "ui/Icons.h"
#include "ui/Menus.h"
#include "ui/NoTrayWindow.h"
#include "ui/QtNotifyArea.h"
#include "ui/UserProfile.h"
#include "ui/dialogs/DialogSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <cstdlib>

// ---- display -------------------------------------------------------------------------------

CFrameDisplay::CFrameDisplay(CMainFrame& frame, CActivityLog& log,
                             const IClock& clock)
    : CDisplayCore(log, clock),
      m_frame(frame),
      m_updates(
          m_calls,
          [this](const std::string& text) {
              if (!m_closing)
                  m_frame.SetStatusBarText(QString::fromStdString(text));
          },
          [this](const std::string& lines) {
              if (!m_closing)
                  m_frame.InsertWindowText(QString::fromStdString(lines));
          })
{
}

void CFrameDisplay::SetClosing()
{
    m_closing = true;
    m_calls.Close();
}

void CFrameDisplay::OnUiThread(const std::function<void()>& fn)
{
    if (!m_closing)
        m_calls.Call(fn);
}

void CFrameDisplay::UiSetStatus(const std::string& text)
{
    if (!m_closing)
        m_updates.SetStatus(text);
}

void CFrameDisplay::UiInsertText(const std::string& text)
{
    if (!m_closing)
        m_updates.AddLines(text);
}

void CFrameDisplay::UiMessageBox(const std::string& text)
{
    const bool fromWorker = QThread::currentThread() != m_frame.thread();
    OnUiThread([this, fromWorker, t = QString::fromStdString(text)] {
        if (m_closing)
            return;
        m_updates.Flush();  // the lines before the box are shown before it
        // A worker's box leaves the rest of the agent usable, the tray menu's Exit above all;
        // the worker waits until it is closed.
        if (fromWorker)
            AgentMessageBox(t, QString::fromLatin1(kAppTitle), nullptr, EBoxModality::Modeless);
        else
            m_frame.ShowMessageBox(t);
    });
}

void CFrameDisplay::UiPostMessageBox(const std::string& text)
{
    auto show = [this, t = QString::fromStdString(text)] {
        if (m_closing)
            return;
        m_updates.Flush();
        QPointer<QMessageBox>& shown = m_shownBoxes[t];
        if (!shown)
            shown = ShowAgentMessageBox(t, QString::fromLatin1(kAppTitle));
    };
    if (m_closing)
        return;
    if (QThread::currentThread() == m_frame.thread())
        show();
    else
        m_calls.Post(std::move(show));
}

// ---- window --------------------------------------------------------------------------------

CMainFrame::CMainFrame(CFrameServices services)
    : m_services(std::move(services)),
      m_log(m_services.logPath),
      m_trayIcon(m_services.notifyArea ? *m_services.notifyArea
                                       : *(m_ownArea = std::make_unique<CQtNotifyArea>()),
                 IDR_TRAYMENU)
{
    if (!m_services.profile)
        m_ownProfile = CreateUserProfile([this](const std::string& text) {
            const std::string line = m_display->GetTimeText() + " - " + text;
            m_display->AddWindowLine(line);
            m_display->WriteLogLine(line);
        });
    m_profile = m_services.profile ? m_services.profile : m_ownProfile.get();
    if (!m_services.internet) {
        TransferLimits limits;
        // A server that allows one login at a time (and a measurement of one session alone)
        // asks for fewer sessions side by side.
        if (m_services.ftpSessions > 0)
            limits.mostFtpSessions = m_services.ftpSessions;
        m_ownInternet = CreateInternet(m_services.endpoints.caFile, limits);
    }
    m_internet = m_services.internet ? m_services.internet : m_ownInternet.get();
    const IClock& clock = m_services.clock ? *m_services.clock : m_systemClock;
    m_display = std::make_unique<CFrameDisplay>(*this, m_log, clock);
    m_log.SetFailureSink([d = m_display.get()](const std::string& path, int error) {
        d->ReportLogFailure(path, error);
    });
    m_lines = std::make_unique<CEventWriter>(*m_display, nullptr, m_services.endpoints.supportEmail);
    m_automation =
        std::make_unique<CAutomation>(*m_lines, m_internet, m_services.endpoints, m_settings);
    if (m_services.settleMs >= 0)
        m_automation->SetSettleTime(m_services.settleMs);
    m_sourceWatch = new CSourceWatch(this);
    m_sourceWatch->onCycle = [this] { OnWatchedCycle(); };
    WireTrayArea();
    WireState();
    WireHistory();
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(LoadResIcon(IDR_MAINFRAME));
    m_nTitleIcon = IDR_MAINFRAME;
}

CMainFrame::~CMainFrame()
{
    delete m_historyWindow.data();
    UnwireTrayArea();
    m_display->SetClosing();
    if (m_internet)
        m_internet->Cancel();
    // The cycle goes first: its worker uses the display, record and internet below. The
    // display is closed, so a window call the worker is blocked in has returned.
    m_automation->Stop();
    m_automation.reset();
    m_log.SetFailureSink({});  // the display goes before the log
    m_trayIcon.SetTrayResource(0);
}

QAction* CMainFrame::MakeAction(const QString& text, int id)
{
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    if (id == ID_PAUSE) {
        m_pauseActions.append(action);
        if (m_bPaused)
            action->setText(QStringLiteral("&Resume"));
    }
    return action;
}

bool CMainFrame::LoadFrame()
{
    m_noTrayActions = FillWindowMenu(
        *menuBar(), [this](const QString& text, int id) { return MakeAction(text, id); });
    ShowNoTrayCommands(TrayAvailable());
    new QShortcut(QKeySequence::HelpContents, this, this, &CMainFrame::OnShowHelp);

    // One stretching pane that shows only what the agent sets: menu prompts and idle texts
    // of the framework never reach it (status tips are swallowed in event()).
    m_wndStatusBar = new QLabel(this);
    m_wndStatusBar->setObjectName(QStringLiteral("StatusPane"));
    m_wndStatusBar->setTextFormat(Qt::PlainText);
    m_wndStatusBar->setMinimumWidth(1);
    statusBar()->addWidget(m_wndStatusBar, 1);
    statusBar()->setSizeGripEnabled(true);
    SetStatusBarText(QStringLiteral("Nimbrel Upload Ravlet"));

    m_wndText = new QPlainTextEdit(this);
    m_wndText->setReadOnly(true);
    m_wndText->setAccessibleName(QStringLiteral("Activity"));
    m_wndText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_wndText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_wndText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_wndText->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_wndText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setCentralWidget(m_wndText);
    PlaceWithinScreen(*this, QSize(640, 400));

    m_trayIcon.SetNotifyTarget(this, WM_USER);
    ShowState();
    m_log.WriteLogHeader(m_display->Clock().Now());
    return true;
}

bool CMainFrame::OnCommand(int id)
{
    switch (id) {
        case ID_OPEN_WINDOW:
            OnOpenWindow();
            return true;
        case ID_EXIT:
            OnExit();
            return true;
        case ID_CONFIGURATION:
            OnConfiguration();
            return true;
        case ID_TRANSFER_NOW:
            OnTransferNow();
            return true;
        case ID_HELP_FINDER:
            OnShowHelp();
            return true;
        case ID_CHANGE_TRAY_ICON:
            OnChangeTrayIcon();
            return true;
        case ID_RECENT_ACTIVITY:
            OnRecentActivity();
            return true;
        case ID_OPEN_DOWNLOADS:
            OnOpenDownloadFolder();
            return true;
        case ID_OPEN_LOG:
            OnOpenLog();
            return true;
        case ID_PAUSE:
            SetPaused(!m_bPaused);
            return true;
        case ID_APP_ABOUT:
            // Not the window's command: routed on to the application object.
            if (auto* app = qApp->property("CMyApp").value<QObject*>())
                QMetaObject::invokeMethod(app, "OnAbout", Qt::DirectConnection);
            return true;
        default:
            return false;
    }
}

void CMainFrame::OnOpenWindow()
{
    m_bKeptForTray = false;  // the author's own opening: a tray coming later leaves it open
    showNormal();
    raise();
    activateWindow();
}

void CMainFrame::OnExit()
{
    const std::time_t now = m_display->Clock().Now();
    // A running cycle is stopped before the shutdown block, so that none of its lines can
    // follow it; a worker waiting on the window is let go first.
    m_automation->Cancel();
    m_sourceWatch->Stop();
    m_display->SetClosing();
    m_automation->Stop();
    m_log.WriteShutdownBlock(now);
    m_bQuitting = 1;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!m_bQuitting) {
        if (TrayAvailable())
            hide();
        else
            KeepForWantOfTray();  // the window is the only way back in
        event->ignore();
        return;
    }
    // Real close. Widgets stop taking worker updates now; an open message box of the worker
    // is closed so the worker can run on to its end; the loop ends once this handler returns.
    m_display->SetClosing();
    if (m_internet)
        m_internet->Cancel();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(QMessageBox::Ok);
    m_trayIcon.SetTrayResource(0);
    event->accept();
    QCoreApplication::quit();
}

// The icon follows the state alone: the old command no longer flips it, it shows the state.
void CMainFrame::OnChangeTrayIcon()
{
    ShowState();
}

int CMainFrame::OnTrayMessage(uint32_t id, uint32_t mouseMessage)
{
    return m_trayIcon.HandleTrayEvent(id, mouseMessage);
}

QMenu* CMainFrame::BuildTrayMenu()
{
    return MakeTrayMenu(this, [this](const QString& text, int id) { return MakeAction(text, id); });
}

bool CMainFrame::TrackTrayMenu(uint32_t menuId)
{
    if (menuId != IDR_TRAYMENU)
        return false;
    // The icon carries the menu: an XEmbed tray has Qt open it already on the press, and a
    // StatusNotifierItem tray opens it itself, so it is opened here only when neither did.
    if (!m_trayMenu->isVisible())
        m_trayMenu->popup(QCursor::pos());
    return true;
}

bool CMainFrame::SendDefaultCommand(uint32_t menuId)
{
    if (menuId != IDR_TRAYMENU)
        return false;
    return OnCommand(kTrayDefaultCommand);
}

void CMainFrame::ShowMessageBox(const QString& text)
{
    AgentMessageBox(text, QString::fromLatin1(kAppTitle));
}

bool CMainFrame::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(e);
}

void CMainFrame::paintEvent(QPaintEvent* e)
{
    QMainWindow::paintEvent(e);
    showEvent(nullptr);
}

void CMainFrame::showEvent(QShowEvent* e)
{
    if (e) {
        QMainWindow::showEvent(e);
        ShowGatheredText();
    }
    // The start-up step runs once, right after the first showing, from the event loop so that
    // a modal dialog never runs inside a paint.
    if (m_nTimerPeriod == 0 && !m_bStartupQueued) {
        m_bStartupQueued = true;
        QMetaObject::invokeMethod(this, &CMainFrame::OnFirstPaint, Qt::QueuedConnection);
    }
}

void CMainFrame::LoadSettings()
{
    m_settings.Replace(::LoadSettings(*m_profile));
    ReportProfile();
}

void CMainFrame::OnFirstPaint()
{
    if (m_nTimerPeriod != 0)
        return;
    // Without a notification area the window is the only way in: keep it.
    if (TrayAvailable())
        hide();
    else
        KeepForWantOfTray();
    StartTrayWatch();
    LoadSettings();
    const CSettings s = m_settings.Snapshot();
    // A password in a locked keyring is there: the state says so, and the dialog is not
    // opened as if it were missing.
    if (s.ShowConfig != 0 || s.Author.empty() || (s.Password.empty() && !s.PasswordLocked) ||
        s.PollTime == 0)
        RunConfiguration();
    LoadSettings();
    if (m_nTimerId == 0)
        KillTimer(1);
    m_nTimerPeriod = 1500;  // also when no timer is armed: the first paint has run
    const int32_t pollTime = m_settings.Snapshot().PollTime;
    if (pollTime > 0) {
        ArmPollTimer(1500);
        if (m_nTimerId == 0)
            m_display->MessageBox("No Automation Possible");
    } else if (pollTime < 0) {
        // Below 0 opens no dialog (only 0 does) and arms nothing: without a word the agent
        // would look as if it polled.
        const std::string line = m_display->GetTimeText() + " - Poll Time is " +
                                 std::to_string(pollTime) +
                                 ": polling is off. Set it above 0 in Configuration.";
        m_display->AddWindowLine(line);
        m_display->WriteLogLine(line);
        m_nPollShown = pollTime;
    }
    ApplyPolling(false);
}

void CMainFrame::ArmPollTimer(unsigned periodMs)
{
    m_nTimerPeriod = periodMs;
    m_nTimerId = SetTimer(1, periodMs);
}

unsigned CMainFrame::SetTimer(unsigned id, unsigned periodMs)
{
    if (id == 0)
        return 0;
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(static_cast<int>(periodMs));
    return timer->isActive() ? id : 0;
}

void CMainFrame::KillTimer(unsigned id)
{
    auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}
