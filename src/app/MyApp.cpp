#include "app/MyApp.h"

#include "core/resources/Resources.h"
#include "platform/SingleInstance.h"
#include "ui/MainFrame.h"
#include "ui/dialogs/AboutThis.h"
#include "ui/dialogs/DialogSupport.h"

#include <QApplication>

CMyApp::CMyApp()
{
    setObjectName(QStringLiteral("CMyApp"));
}

CMyApp::~CMyApp()
{
    delete m_pMainWnd;
}

bool CMyApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orbidex"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    m_instance = std::make_unique<CSingleInstance>(QString::fromLatin1(kInstanceName));
    if (!m_instance->Acquire()) {
        AgentMessageBox(QStringLiteral("Tolvane's Orbidex is already loaded"),
                        QString::fromLatin1(kAppTitle));
        return false;
    }
    m_pMainWnd = new CMainFrame();
    if (!m_pMainWnd->LoadFrame()) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
        return false;
    }
    m_pMainWnd->show();
    return true;
}

void CMyApp::OnAbout()
{
    // A new dialog, with no owner, for every command: it opens even while the window is hidden.
    auto about = std::make_unique<CAboutThis>();
    about->RunModal();
}
