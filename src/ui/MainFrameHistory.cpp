#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "core/cycle/Download.h"
#include "core/history/History.h"
#include "ui/Resources.h"
#include "core/state/ProblemTexts.h"
#include "platform/StateFolder.h"
#include "ui/HistoryActions.h"
#include "ui/HistoryWindow.h"
#include "ui/Icons.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QUrl>

// The author's day: what went out and came in (kept in the state folder), the folders and the
// log one click away, and the pause.

namespace {
constexpr const char* kPausedFile = "paused";

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void CMainFrame::WireHistory()
{
    m_stateFolder =
        m_services.stateFolder.empty() ? fsys::DefaultStateFolder() : m_services.stateFolder;
    const IClock& clock = m_display->Clock();
    m_history = std::make_unique<CHistory>(m_stateFolder, clock);
    CAgentState& state = m_automation->State();
    // On the reporting thread: the entry is made where the event is, the UI only told.
    state.onEvent = [this, &clock](const CAgentEvent& e) {
        if (e.Kind() == EEvent::CycleEnded) {
            m_history->EndCycle();
            // Behind the arrivals this cycle posted.
            m_display->Post([this] { TellArrivals(); });
            return;
        }
        const std::string downloads = m_settings.Snapshot().TDir;
        const std::optional<CHistoryEntry> entry =
            HistoryEntryFrom(e, downloads.empty() ? DefaultDownloadFolder() : downloads, clock.Now());
        if (!entry)
            return;
        if (entry->outcome == EOutcome::Downloaded || entry->outcome == EOutcome::NotConfirmed)
            m_display->Post([this, path = Q(entry->path)] {
                if (!m_arrivals.contains(path))
                    m_arrivals.append(path);
            });
        m_history->Add(*entry);
    };
    m_history->onChanged = [this] {
        if (!m_historyPosted.exchange(true))
            m_display->Post([this] {
                m_historyPosted = false;
                if (m_historyWindow && m_historyWindow->isVisible())
                    m_historyWindow->Refresh();
            });
    };
    const std::vector<std::string> paused = fsys::ReadFields(m_stateFolder, kPausedFile);
    m_bPaused = !paused.empty() && paused.front() == "1";
    state.SetPaused(m_bPaused);
    for (QAction* a : m_pauseActions)
        a->setText(m_bPaused ? QStringLiteral("&Resume") : QStringLiteral("&Pause automatic sending"));
}

void CMainFrame::OnRecentActivity()
{
    if (!m_historyWindow) {
        // A window of its own, not the main window's child: a window manager raises a
        // transient's parent with it, and the main window stays hidden in the tray.
        m_historyWindow = new CHistoryWindow(*m_history, m_stateFolder);
        m_historyWindow->setWindowIcon(LoadResIcon(IDR_MAINFRAME));  // not the state's
        m_historyWindow->onSendAgain = [this] { OnTransferNow(); };
        // At 200 % on a small screen its own size would put the buttons off the screen.
        if (const QScreen* s = screen())
            m_historyWindow->resize(
                m_historyWindow->size().boundedTo(s->availableGeometry().size() * 0.9));
    }
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
    m_historyWindow->Refresh();
}

void CMainFrame::OnOpenDownloadFolder()
{
    const std::string tdir = m_settings.Snapshot().TDir;
    const QString folder = Q(tdir.empty() ? DefaultDownloadFolder() : tdir);
    if (!QFileInfo(folder).isDir()) {
        ShowMessageBox(QStringLiteral("The download folder %1 is not there yet: it is made when "
                                      "the first document arrives, or choose another one in "
                                      "Configuration.")
                           .arg(folder));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void CMainFrame::OnOpenLog()
{
    const QString path = QFileInfo(Q(m_log.Path())).absoluteFilePath();
    if (!OpenWithDesktop(path))
        ShowMessageBox(QStringLiteral("The log %1 cannot be opened: it is not there, or the "
                                      "desktop has no program for text files.")
                           .arg(path));
}

void CMainFrame::SetPaused(bool paused)
{
    if (paused != m_bPaused) {
        m_bPaused = paused;
        std::string why;
        if (!fsys::WriteFields(m_stateFolder, kPausedFile, {paused ? "1" : "0"}, &why))
            ShowMessageBox(QStringLiteral("The pause holds until the agent ends, but cannot be "
                                          "kept for the next start: %1 cannot be written (%2).")
                               .arg(Q(m_stateFolder), Q(why)));
        const std::string line =
            m_display->GetTimeText() + (paused ? " - Automatic sending paused by the author."
                                               : " - Automatic sending resumed.");
        m_display->AddWindowLine(line);
        m_display->WriteLogLine(line);
    }
    for (QAction* a : m_pauseActions)
        a->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause automatic sending"));
    m_automation->State().SetPaused(paused);
    ShowState();
    // What waited while paused goes now.
    if (!paused && m_nTimerPeriod != 0 && m_settings.Snapshot().PollTime > 0)
        StartAutomation();
}

namespace {
QString ArrivalText(const QStringList& paths)
{
    QStringList names;
    for (const QString& p : paths) names << QFileInfo(p).fileName();
    constexpr int kNamed = 3;  // more would not fit a notice
    QString list = names.mid(0, kNamed).join(QStringLiteral(", "));
    if (names.size() > kNamed)
        list += QStringLiteral(" and %1 more").arg(names.size() - kNamed);
    return names.size() == 1 ? QStringLiteral("1 document arrived: %1").arg(list)
                             : QStringLiteral("%1 documents arrived: %2").arg(names.size()).arg(list);
}
}  // namespace

void CMainFrame::TellArrivals()
{
    const QStringList arrived = std::exchange(m_arrivals, {});
    if (arrived.isEmpty() || m_bQuitting || m_settings.Snapshot().ArrivalNotices == 0)
        return;
    m_lastArrivals = arrived;
    m_notices->Arrived(ArrivalText(arrived));
}

void CMainFrame::OpenArrival()
{
    if (m_lastArrivals.isEmpty())
        return;
    // One document opens; of several, their folder does.
    const QString& first = m_lastArrivals.front();
    const bool opened = m_lastArrivals.size() == 1
                            ? OpenWithDesktop(first)
                            : QDesktopServices::openUrl(
                                  QUrl::fromLocalFile(QFileInfo(first).absolutePath()));
    if (!opened)
        ShowArrivalList();
}

void CMainFrame::ShowArrivalList()
{
    OnRecentActivity();
    if (!m_lastArrivals.isEmpty())
        m_historyWindow->SelectPath(m_lastArrivals.front());
}

CNoticeFix CMainFrame::FixFor(const CProblem& p)
{
    switch (p.kind) {
        case EProblem::LoginRefused:
        case EProblem::NotConfigured:
        case EProblem::SettingsUnreadable:
            return {QStringLiteral("Open Configuration"), [this] { OnConfiguration(); }};
        case EProblem::UploadFailed:
        case EProblem::LocalSkipped:
            // The put and the notification are the service's; the rest is the author's disk.
            if (p.stage == EStage::Put || p.stage == EStage::Notify || p.subject.empty())
                return {};
            return {QStringLiteral("Open folder"), [path = Q(p.subject)] { ShowInFolder(path); }};
        case EProblem::DownloadFailed:
            if (p.stage != EStage::Save)
                return {};
            return {QStringLiteral("Open download folder"), [this] { OnOpenDownloadFolder(); }};
        case EProblem::ServiceDown:
        case EProblem::ServiceFault:
        case EProblem::ListFailed:
        case EProblem::FtpLoginRefused:
        case EProblem::FtpUnreachable:
        case EProblem::KeyringLocked:
            return {};
    }
    return {};
}
