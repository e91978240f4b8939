#pragma once
#include <QObject>
#include <memory>

class CExitSignals;
class CInstanceServer;
class CMainFrame;
class CSingleInstance;
struct CFrameServices;

inline constexpr const char* kInstanceName = "FD2C3621_5418_11D8_8E2A_EA1BF69D4779";
inline constexpr const char* kDesktopEntryId = "org.nimbrel.Orbidex";

// The whole program: the command line, then (unless it was answered without one) the agent.
int RunAgent(int argc, char** argv);

// The application object: one instance per user, the main window, the About command.
class CMyApp : public QObject {
    Q_OBJECT
public:
    CMyApp();
    ~CMyApp() override;
    bool InitInstance();
    CMainFrame* MainWindow() const { return m_pMainWnd; }

public slots:
    void OnAbout();

private:
    // A request of a second process (show, transfer-now, quit, status); returns the reply.
    QString OnRequest(const QString& request, bool& keepOpen);

    std::unique_ptr<CSingleInstance> m_instance;
    std::unique_ptr<CInstanceServer> m_server;
    std::unique_ptr<CExitSignals> m_signals;
    CMainFrame* m_pMainWnd = nullptr;
};
