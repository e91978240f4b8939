#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "core/cycle/Scan.h"
#include "ui/Resources.h"
#include "core/state/ProblemTexts.h"
#include "core/state/ProgressText.h"
#include "platform/ProfileStore.h"
#include "ui/DesktopNotice.h"
#include "ui/QtNotifyArea.h"

// The agent state is the one source of what the author sees between the window's own lines:
// the tray's icon and tooltip, the status bar after a cycle, the desktop's notices and the
// status report. The worker only reports; the UI thread reads the state when it has changed.

void CMainFrame::WireState()
{
    if (m_services.notices) {
        m_notices = m_services.notices;
    } else {
        auto own = std::make_unique<CDesktopNotices>();
        own->onOpenWindow = [this] { OnOpenWindow(); };
        own->onOpenArrival = [this] { OpenArrival(); };
        own->onShowList = [this] { ShowArrivalList(); };
        own->balloon = [this](const QString& title, const QString& text) {
            auto* area = dynamic_cast<CQtNotifyArea*>(m_trayArea);
            return area && area->ShowBalloon(title, text);
        };
        m_notices = own.get();
        m_ownNotices = std::move(own);
    }
    // Changes come in bursts from the worker: one look at the state takes them all.
    m_automation->State().onChanged = [this] {
        if (!m_statePosted.exchange(true))
            m_display->Post([this] { OnStateChanged(); });
    };
}

void CMainFrame::OnStateChanged()
{
    m_statePosted = false;  // a change from now on posts another look
    if (m_bQuitting)
        return;
    const auto [s, changes] = m_automation->State().Take();
    ShowLook(s);
    ShowProgress(s);
    if (!s.busy && s.last.number != m_cyclesShown) {
        m_cyclesShown = s.last.number;
        AfterCycle();
        if (s.Attention()) {
            // After the cycle's own texts, which would otherwise land on top of this one.
            m_display->CatchUp();
            std::string text = "Attention: " + ProblemLine(s.problems.front());
            if (s.problems.size() > 1)
                text += " (and " + std::to_string(s.problems.size() - 1) + " more)";
            m_display->SetStatusText(text);
        } else if (s.paused || s.SendingOff()) {
            m_display->CatchUp();
            m_display->SetStatusText(s.paused ? kPausedLine : SendingOffLine(s.pollTime));
        }
    }
    for (const CProblem& p : changes.closed) m_notices->Close(QString::fromStdString(p.Key()));
    for (const CProblem& p : changes.opened)
        m_notices->Open(QString::fromStdString(p.Key()),
                        QString::fromStdString(ProblemNotice(p, m_services.endpoints.supportEmail)),
                        FixFor(p));
}

// A long transfer's progress is the status bar's while it runs; once it ends the bar shows again
// what the cycle said there last. Only the pane: the status text buffer keeps the cycle's own.
void CMainFrame::ShowProgress(const CAgentState::CSnapshot& s)
{
    const bool running = s.busy && s.transfer;
    if (!running && !m_bProgressShown)
        return;
    // What the worker posted before this look goes first: it must not land on top of it.
    m_display->CatchUp();
    m_bProgressShown = running;
    SetStatusBarText(QString::fromStdString(running ? ProgressLine(*s.transfer)
                                                    : m_display->StatusBuffer()));
}

namespace {
int IconOf(ELook look)
{
    switch (look) {
        case ELook::Idle: return IDI_TRAY_IDLE;
        case ELook::Busy: return IDI_TRAY_BUSY;
        case ELook::Paused:
        case ELook::Attention: break;
    }
    return IDI_TRAY_ATTENTION;
}
}  // namespace

void CMainFrame::ShowState()
{
    ShowLook(m_automation->State().Snapshot());
}

// The one place where the state becomes the tray's icon and tooltip and the window's icon, so
// that the task bar never says idle while the tray asks for the author.
void CMainFrame::ShowLook(const CAgentState::CSnapshot& s)
{
    if (m_bQuitting)
        return;
    const CLook look = LookOf(s);
    const int icon = IconOf(look.look);
    if (look.tip.empty())
        m_trayIcon.SetTrayResource(icon);  // with the icon's own words
    else
        m_trayIcon.UpdateTrayIcon(icon, look.tip.c_str());
    ShowWindowIcon(icon);
}

void CMainFrame::ReportProfile()
{
    IAgentEvents& events = m_automation->Events();
    const bool locked = m_settings.Snapshot().PasswordLocked;
    if (locked != m_bKeyringLocked) {
        m_bKeyringLocked = locked;
        if (locked)
            events.Report(ev::KeyringLocked{});
        else
            events.Report(ev::KeyringAnswered{});
    }
    const std::string problem = m_profile->ReadProblem();
    if (problem != m_strSettingsProblem) {
        m_strSettingsProblem = problem;
        if (problem.empty())
            events.Report(ev::SettingsReadable{});
        else
            events.Report(ev::SettingsUnreadable{problem});
    }
}

void CMainFrame::AskKeyringAgain()
{
    if (!m_settings.Snapshot().PasswordLocked)
        return;
    m_keyringAsked = std::chrono::steady_clock::now();
    m_profile->RetryLocked();
    LoadSettings();
}

std::string CMainFrame::StatusReport() const
{
    // Counted afresh, as the next cycle would find them: the cycle's own list is its worker's.
    CWorkList waiting;
    waiting.m_settle.SetSettleMs(m_automation->SettleTime());
    ScanSourceFolders(m_settings.Snapshot(), waiting);
    // Files still being written, or closed a moment ago, wait too.
    return FormatAgentStatus(
        m_automation->State().Snapshot(),
        waiting.m_nFileCount + static_cast<int>(waiting.m_held.size() + waiting.m_settling.size()));
}
