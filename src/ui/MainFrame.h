#pragma once
#include "core/display/ActivityLog.h"
#include "ui/display/DisplayCore.h"
#include "ui/display/TrayIcon.h"
#include "ui/display/UiCallQueue.h"
#include "ui/display/UiUpdates.h"
#include "core/history/History.h"
#include "core/state/AgentState.h"
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "ui/display/EventWriter.h"
#include "platform/Clock.h"
#include "platform/NotifyArea.h"
#include "ui/DesktopNotice.h"
#include "ui/HistoryWindow.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class CHelpWindow;
class CSourceWatch;
class CQtNotifyArea;
class IInternet;
class IProfileStore;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTimer;

class CAutomation;
class CMainFrame;


// The display half of the main window: buffers and log in the core, widgets reached on the UI
// thread. A worker's status texts and window lines are posted (it never waits for the UI
// thread); only a message box it must wait for holds it. Once the window closes, calls no
// longer touch widgets, so a worker can run to its end at exit.
class CFrameDisplay final : public CDisplayCore {
public:
    CFrameDisplay(CMainFrame& frame, CActivityLog& log, const IClock& clock);
    // Widgets take no more calls; a worker waiting on one is let go, posted ones are dropped.
    void SetClosing();
    // UI thread: shows the lines and status text posted so far.
    void CatchUp() { m_updates.Flush(); }
    // Any thread: runs `fn` on the UI thread after everything posted before it.
    void Post(std::function<void()> fn) { m_calls.Post(std::move(fn)); }

protected:
    void UiSetStatus(const std::string& text) override;
    void UiInsertText(const std::string& text) override;
    void UiMessageBox(const std::string& text) override;
    void UiPostMessageBox(const std::string& text) override;

private:
    void OnUiThread(const std::function<void()>& fn);
    CMainFrame& m_frame;
    std::map<QString, QPointer<QMessageBox>> m_shownBoxes;  // UI thread only
    std::atomic<bool> m_closing{false};
    CUiCallQueue m_calls;
    CUiUpdates m_updates;  // posts through m_calls: declared after it
};

// Everything the main window is given from outside, so tests can point it anywhere.
struct CFrameServices {
    IProfileStore* profile = nullptr;   // the user's profile when null
    INotifyArea* notifyArea = nullptr;  // the desktop's when null
    IInternet* internet = nullptr;      // libcurl when null
    const IClock* clock = nullptr;      // system clock when null
    CEndpoints endpoints = BuildEndpoints();
    std::string logPath = "Orbidex.log";
    // Desktop notices of problems; the desktop's notification service when null.
    INotices* notices = nullptr;
    // How long a file must stay unwritten before it is sent; below 0 the agent's own.
    long settleMs = -1;
    // The agent's own folder (the author's list, the pause); the user's when empty.
    std::string stateFolder;
    // FTP sessions a backlog opens side by side; the agent's own number when 0.
    int ftpSessions = 0;
};

class CMainFrame : public QMainWindow, public ITrayOwner {
    Q_OBJECT
public:
    explicit CMainFrame(CFrameServices services = {});
    ~CMainFrame() override;

    bool LoadFrame();  // OnCreate; false when the window cannot be built

    // Commands (numbers in res/Resources.h)
    bool OnCommand(int id);
    void OnOpenWindow();
    void OnExit();
    void OnTransferNow();
    void OnConfiguration();
    void OnShowHelp();
    void OnChangeTrayIcon();
    int OnTrayMessage(uint32_t id, uint32_t mouseMessage);
    void OnTimer(unsigned id);
    // A cycle of the folder watch looks at what changed; any other at every file.
    void StartAutomation(bool watched = false);

    // The author's day (MainFrameHistory.cpp): the list, the folders, the pause.
    void OnRecentActivity();
    void OnOpenDownloadFolder();
    void OnOpenLog();
    void SetPaused(bool paused);
    bool Paused() const { return m_bPaused; }
    CHistory& History() { return *m_history; }
    CHistoryWindow* HistoryWindow() { return m_historyWindow; }
    // An arrival notice's actions: the document (the folder of several), and the list.
    void OpenArrival();
    void ShowArrivalList();

    // Start-up step run once, at the first paint.
    void OnFirstPaint();
    void LoadSettings();

    // ITrayOwner
    bool TrackTrayMenu(uint32_t menuId) override;
    bool SendDefaultCommand(uint32_t menuId) override;

    // Window timers by identifier; SetTimer returns the identifier, 0 when none could be set.
    unsigned SetTimer(unsigned id, unsigned periodMs);
    void KillTimer(unsigned id);
    // The poll timer (ID 1) with its period, as the first paint arms it.
    void ArmPollTimer(unsigned periodMs);
    unsigned TimerId() const { return m_nTimerId; }
    unsigned TimerPeriod() const { return m_nTimerPeriod; }
    // After the settings are loaded: the poll timer, the folders watched and the state follow
    // the Polling Time at once (MainFrameCycle.cpp).
    void ApplyPolling(bool rearm = false);
    CSourceWatch& SourceWatch() { return *m_sourceWatch; }

    IDisplay& Display() { return *m_display; }
    CFrameDisplay& FrameDisplay() { return *m_display; }
    CSettingsRecord& Settings() { return m_settings; }
    IProfileStore& Profile() { return *m_profile; }
    CTrayIcon& TrayIcon() { return m_trayIcon; }
    const CEndpoints& Endpoints() const { return m_services.endpoints; }
    IInternet& Internet() { return *m_internet; }
    CAutomation& Automation() { return *m_automation; }  // the busy flag and the work list
    QString StatusText() const;
    QString WindowText() const;
    QMenu* BuildTrayMenu();
    // The reply to a status request from outside (MainFrameState.cpp).
    std::string StatusReport() const;
    // Cycle ends whose outcome has been shown (after the state's change reached the UI thread).
    unsigned CyclesShown() const { return m_cyclesShown; }
    bool Quitting() const { return m_bQuitting != 0; }

    void ShowMessageBox(const QString& text);
    // Text area and status pane (MainFrameText.cpp). While the window is hidden or minimised
    // they only gather what comes; showing it catches up in one go.
    void InsertWindowText(const QString& text);
    void SetStatusBarText(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    QAction* MakeAction(const QString& text, int id);
    // Desktops without a notification area (MainFrameTray.cpp).
    void WireTrayArea();
    void UnwireTrayArea();
    bool TrayAvailable();
    void StartTrayWatch();
    void TrayAreaChanged();
    void KeepForWantOfTray();
    void MirrorTrayState(int icon, const QString& tip, bool shown);
    void MirrorTitle(const QString& title);
    void ShowWindowIcon(int icon);
    // What the agent state says, shown in the tray, the status bar and notices
    // (MainFrameState.cpp).
    void WireState();
    // Tells the state whether the settings and the keyring's password could be read.
    void ReportProfile();
    // A keyring that did not give the password is asked again, once.
    void AskKeyringAgain();
    void RunConfiguration();
    void OnStateChanged();
    // The state's look: the tray's icon and tooltip and the window's icon, from LookOf alone.
    void ShowState();
    void ShowLook(const CAgentState::CSnapshot& state);
    void ShowProgress(const CAgentState::CSnapshot& state);
    void ShowNoTrayCommands(bool trayAvailable);
    bool TextOnScreen() const;
    void ShowGatheredText();
    // A watched folder has a file that may be finished, or one held back may be by now.
    void OnWatchedCycle();
    void AfterCycle();
    void WireHistory();
    // Arrival notice of the documents that came in the cycle just ended.
    void TellArrivals();
    // What a problem's notice offers to mend it, if anything.
    CNoticeFix FixFor(const CProblem& problem);

    // Fields of the window (see the cycle for their use)
    unsigned m_nTimerId = 0;
    unsigned m_nTimerPeriod = 0;
    int32_t m_bQuitting = 0;

    CFrameServices m_services;
    std::unique_ptr<IProfileStore> m_ownProfile;
    std::unique_ptr<INotifyArea> m_ownArea;
    std::unique_ptr<IInternet> m_ownInternet;
    CSystemClock m_systemClock;
    IProfileStore* m_profile = nullptr;
    IInternet* m_internet = nullptr;
    CActivityLog m_log;
    CSettingsRecord m_settings;
    CTrayIcon m_trayIcon;
    std::unique_ptr<CFrameDisplay> m_display;
    std::unique_ptr<CEventWriter> m_lines;  // the events' lines on m_display
    std::unique_ptr<CAutomation> m_automation;
    QLabel* m_wndStatusBar = nullptr;
    QPlainTextEdit* m_wndText = nullptr;
    QString m_gatheredText;                   // lines not yet in the text area
    std::optional<QString> m_gatheredStatus;  // status text not yet in the pane
    std::map<unsigned, QTimer*> m_timers;
    bool m_bStartupQueued = false;
    INotifyArea* m_trayArea = nullptr;
    QTimer* m_trayWatch = nullptr;
    int m_nTrayLooks = 0;          // by the watch since it started or saw a change
    bool m_bTrayAvailable = true;  // as last seen by the watch
    bool m_bTrayMirrored = false;  // title and icon carry the tray state
    bool m_bKeptForTray = false;   // open only because there was no tray
    int m_nTitleIcon = 0;          // the window icon last set
    int m_nTrayState = 0;          // last state asked for, shown or not
    QString m_strTrayTip;
    QList<QAction*> m_noTrayActions;  // window menu commands shown only without a tray
    QMenu* m_trayMenu = nullptr;      // the icon's menu, a child of the window
    QPointer<CHelpWindow> m_helpWindow;
    std::unique_ptr<INotices> m_ownNotices;
    INotices* m_notices = nullptr;
    std::atomic<bool> m_statePosted{false};
    unsigned m_cyclesShown = 0;  // cycle ends whose outcome the status bar has had
    bool m_bProgressShown = false;  // the status bar holds a transfer's progress
    bool m_bKeyringLocked = false;          // as last told to the state
    std::string m_strSettingsProblem;       // as last told to the state
    std::chrono::steady_clock::time_point m_keyringAsked = std::chrono::steady_clock::now();
    CSourceWatch* m_sourceWatch = nullptr;
    bool m_bCycleAgain = false;  // a file finished while a cycle ran
    int32_t m_nPollShown = 1;    // the Polling Time the window last spoke of
    std::string m_stateFolder;
    std::unique_ptr<CHistory> m_history;
    QPointer<CHistoryWindow> m_historyWindow;
    std::atomic<bool> m_historyPosted{false};
    QStringList m_arrivals;     // documents saved in the running cycle (UI thread)
    QStringList m_lastArrivals;  // those of the last arrival notice
    bool m_bPaused = false;
    QList<QAction*> m_pauseActions;
};
