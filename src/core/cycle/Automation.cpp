#include "core/cycle/Automation.h"

#include "core/cycle/Archive.h"
#include "core/cycle/Download.h"
#include "core/cycle/DownloadList.h"
#include "core/cycle/Scan.h"
#include "core/cycle/Upload.h"
#include "core/display/Display.h"
#include "core/resources/Resources.h"
#include "core/service/AuthorValidation.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

#include <algorithm>
#include <chrono>

void CCycleContext::Report(const CAgentEvent& event)
{
    if (events)
        events->Report(event);
    else
        CEventWriter(display, nullptr, endpoints.supportEmail).Report(event);
}

bool CheckInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints)
{
    const EFetchResult probe = ProbeInternet(internet, endpoints);
    if (probe == EFetchResult::NoInternet)
        display.MessageBox(kInternetOpenFailed);
    return probe == EFetchResult::Ok;
}

CAutomation::CAutomation(IDisplay& display, IInternet* internet, const CEndpoints& endpoints,
                         CSettingsRecord& record)
    : m_display(display),
      m_events(display, &m_state, endpoints.supportEmail),
      m_internet(internet),
      m_endpoints(endpoints),
      m_record(record)
{
}

CAutomation::~CAutomation()
{
    Stop();
}

void CAutomation::StartAutomation()
{
    if (m_nBusy.load() != 0) {
        m_display.SetStatusText("Nimbrel Upload Ravlet");
        m_display.SetTrayResource(IDI_TRAY_BUSY);
        return;
    }
    if (m_cancelled)
        return;
    // The previous worker cleared the flag as its very last act: it has returned or is about
    // to, so this join does not wait on anything.
    if (m_worker.joinable())
        m_worker.join();
    m_nBusy = 3;
    m_state.Report({EEvent::CycleStarted});
    m_running = true;
    m_worker = std::thread(&CAutomation::AutomationThread, this, m_record.Snapshot());
}

void CAutomation::Cancel()
{
    m_cancelled = true;
    if (m_internet)
        m_internet->Cancel();
}

void CAutomation::Stop(const std::function<void()>& pump)
{
    Cancel();
    if (!m_worker.joinable())
        return;
    while (pump && m_running.load()) {
        pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_worker.join();
}

void CAutomation::AutomationThread(CSettings snapshot)
{
    m_work.m_settle.SetSettleMs(m_settleMs.load());
    m_work.m_settle.BeginScan();  // no file held back until this cycle's scan says so
    try {
        if (m_internet) {
            CCycleContext ctx{m_display, *m_internet, m_endpoints, std::move(snapshot),
                              m_record,  m_work,      m_cancelled, &m_events};
            m_internet->SetWaitBudget(m_waitBudgetMs.load());
            // One connection per web host for the whole cycle, closed at its end.
            m_internet->KeepWebConnections(true);
            RunCycle(ctx);
        } else {
            m_events.Report({EEvent::ServiceDown, {}, "no internet layer"});
        }
    } catch (...) {
        // Out of memory or a library's exception: the cycle ends like any other failure,
        // the files concerned wait for the next one.
    }
    if (m_internet) {
        m_internet->SetWaitBudget(0);
        m_internet->KeepWebConnections(false);
    }
    m_work.m_pFtpConnection.reset();
    m_settleDue = m_work.m_settle.NextDueMs();
    // Told before the flag clears: whoever sees idle finds this cycle's outcome in the state.
    m_state.Report({EEvent::CycleEnded});
    m_nBusy = 0;
    m_running = false;
}

long CAutomation::MsUntilSettled() const
{
    const std::int64_t due = m_settleDue.load();
    return due == 0 ? -1 : static_cast<long>(std::max<std::int64_t>(0, due - SteadyNowMs()));
}

void CAutomation::RunCycle(CCycleContext& ctx)
{
    IDisplay& d = m_display;
    // Only names this agent recorded as its own are removed, never a file that looks alike,
    // and only where it writes: the download folder and the archive sub-folders.
    std::vector<std::string> ours{ctx.settings.TDir.empty() ? DefaultDownloadFolder()
                                                            : ctx.settings.TDir};
    for (const std::string& dir : ctx.settings.Dir)
        if (!dir.empty())
            ours.push_back((dir.back() == '/' ? dir : dir + "/") + kArchiveFolder);
    if (const int swept = m_work.m_local.Temps().Sweep(ours); swept > 0) {
        CAgentEvent e{EEvent::TempFilesSwept};
        e.count = swept;
        ctx.Report(e);
    }
    // Without the password nothing can go to the service; the agent state already says that
    // the keyring is locked, and the window asks it again.
    if (ctx.settings.PasswordLocked)
        return;
    std::string cause;
    const EFetchResult probe = ProbeInternet(ctx.internet, m_endpoints, &cause);
    if (probe == EFetchResult::NoInternet)
        d.MessageBox(kInternetOpenFailed);
    if (probe != EFetchResult::Ok) {
        if (probe == EFetchResult::NoInternet)
            cause = "no internet access";
        if (!m_cancelled)
            ctx.Report({EEvent::ServiceDown, {}, cause.empty() ? "no answer" : cause});
        return;
    }
    ctx.Report({EEvent::ServiceAnswered});
    if (m_cancelled)
        return;
    CWebReply reply;
    const EAuthorCheck login =
        ValidateAuthor(d, ctx.internet, m_endpoints, ctx.settings, &reply, ctx.events);
    if (m_cancelled)
        return;
    if (login == EAuthorCheck::Unchecked) {
        // The service failed, not the author: polling stays on and the next poll asks again.
        // No internet at all is already in the state, as a service that does not answer.
        if (reply.result != EFetchResult::NoInternet)
            ctx.Report({EEvent::ServiceFault, "login", FaultReason(reply)});
        return;
    }
    if (login == EAuthorCheck::Refused || login == EAuthorCheck::NotConfigured) {
        ctx.Report({login == EAuthorCheck::Refused ? EEvent::LoginRefused
                                                   : EEvent::LoginNotConfigured});
        // Polling stays off until the settings are loaded again; the stored value is kept.
        m_record.Update([](CSettings& s) { s.PollTime = 0; });
        return;
    }
    ctx.Report({EEvent::LoginAccepted});

    m_nBusy = 3;
    MarkAnnounced(ctx);
    ScanSourceFolders(ctx.settings, m_work);
    ReportSkipped(ctx);
    if (m_work.m_nFileCount > 0) {
        d.AddWindowLine("Starting Upload Process");
        UploadFiles(ctx);
    } else {
        d.AddWindowLine(d.GetTimeText() + " - No File to Upload");
        d.SetStatusText("No File to Upload");
    }
    if (!m_cancelled)
        RetryArchives(ctx);
    if (m_cancelled)
        return;
    if (ctx.internet.WaitBudgetSpent()) {
        // The service held this cycle past its bound: the download waits for the next poll.
        ctx.Report({EEvent::ServiceFault, "cycle", "the service kept this cycle waiting too long"});
        return;
    }

    if (ctx.settings.AutoDownLoad > 0) {
        d.AddWindowLine("Starting Auto-Download Process");
        d.SetStatusText("Starting Auto Download");
        RequestDownloadList(ctx);
    } else {
        d.AddWindowLine("Auto Download is off");
        d.SetStatusText("Auto Download is off");
    }
}
