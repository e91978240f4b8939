#include "core/cycle/Automation.h"

#include "core/cycle/Archive.h"
#include "core/cycle/Download.h"
#include "core/cycle/DownloadList.h"
#include "core/cycle/Scan.h"
#include "core/cycle/Upload.h"
#include "core/service/AuthorValidation.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

#include <algorithm>
#include <chrono>

CAutomation::CAutomation(IAgentEvents& events, IInternet* internet, const CEndpoints& endpoints,
                         CSettingsRecord& record)
    : m_events(events, m_state),
      m_internet(internet),
      m_endpoints(endpoints),
      m_record(record)
{
}

CAutomation::~CAutomation()
{
    Stop();
}

void CAutomation::StartAutomation(CScanScope scope)
{
    if (m_nBusy.load() != 0) {
        m_events.Report(ev::StillRunning{});
        return;
    }
    if (m_cancelled)
        return;
    // The previous worker cleared the flag as its very last act: it has returned or is about
    // to, so this join does not wait on anything.
    if (m_worker.joinable())
        m_worker.join();
    m_nBusy = 3;
    m_scope = std::move(scope);
    m_events.Report(ev::CycleStarted{});
    m_running = true;
    m_worker = std::thread(&CAutomation::AutomationThread, this, m_record.Snapshot());
}

void CAutomation::Cancel()
{
    m_cancelled = true;
    if (m_internet)
        m_internet->Stop(kStopGraceMs);
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
    m_work.m_moreListed = false;
    try {
        if (m_internet) {
            CCycleContext ctx{m_events, *m_internet, m_endpoints, std::move(snapshot),
                              m_record, m_work,      m_cancelled};
            m_internet->SetWaitBudget(m_waitBudgetMs.load());
            // One connection per web host for the whole cycle, closed at its end.
            m_internet->KeepWebConnections(true);
            RunCycle(ctx);
        } else {
            m_events.Report(ev::ServiceDown{"no internet layer"});
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
    m_work.EndLocalPass();
    m_settleDue = m_work.m_settle.NextDueMs();
    m_moreListed = m_work.m_moreListed;
    // Told before the flag clears: whoever sees idle finds this cycle's outcome in the state.
    m_events.Report(ev::CycleEnded{});
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
    // Only names this agent recorded as its own are removed, never a file that looks alike,
    // and only where it writes: the download folder and the archive sub-folders.
    std::vector<std::string> ours{ctx.settings.TDir.empty() ? DefaultDownloadFolder()
                                                            : ctx.settings.TDir};
    for (const std::string& dir : ctx.settings.Dir)
        if (!dir.empty())
            ours.push_back((dir.back() == '/' ? dir : dir + "/") + kArchiveFolder);
    if (const int swept = m_work.m_local.Temps().Sweep(ours); swept > 0) {
        ctx.Report(ev::TempFilesSwept{swept});
    }
    // Without the password nothing can go to the service; the agent state already says that
    // the keyring is locked, and the window asks it again.
    if (ctx.settings.PasswordLocked)
        return;
    std::string cause;
    const EFetchResult probe = ProbeInternet(ctx.internet, m_endpoints, &cause);
    if (probe != EFetchResult::Ok) {
        const bool none = probe == EFetchResult::NoInternet;
        if (none)
            cause = "no internet access";
        if (!m_cancelled)
            ctx.Report(ev::ServiceDown{cause.empty() ? "no answer" : cause, none});
        return;
    }
    ctx.Report(ev::ServiceAnswered{});
    if (m_cancelled)
        return;
    CWebReply reply;
    const EAuthorCheck login =
        ValidateAuthor(m_events, ctx.internet, m_endpoints, ctx.settings, &reply);
    if (m_cancelled)
        return;
    if (login == EAuthorCheck::Unchecked) {
        // The service failed, not the author: polling stays on and the next poll asks again.
        // No internet at all is already in the state, as a service that does not answer.
        if (reply.result != EFetchResult::NoInternet)
            ctx.Report(ev::ServiceFault{ev::EStep::Login, FaultReason(reply)});
        return;
    }
    if (login == EAuthorCheck::Refused || login == EAuthorCheck::NotConfigured) {
        if (login == EAuthorCheck::Refused)
            ctx.Report(ev::LoginRefused{});
        else
            ctx.Report(ev::LoginNotConfigured{});
        // Polling stays off until the settings are loaded again; the stored value is kept.
        m_record.Update([](CSettings& s) { s.PollTime = 0; });
        return;
    }
    ctx.Report(ev::LoginAccepted{});

    m_nBusy = 3;
    MarkAnnounced(ctx);
    ScanSourceFolders(ctx.settings, m_work, m_scope);
    ReportSkipped(ctx);
    ctx.Report(ev::UploadPass{m_work.m_nFileCount});
    if (m_work.m_nFileCount > 0)
        UploadFiles(ctx);
    if (!m_cancelled)
        RetryArchives(ctx);
    if (m_cancelled)
        return;
    if (ctx.internet.WaitBudgetSpent()) {
        // The service held this cycle past its bound: the download waits for the next poll.
        ctx.Report(ev::ServiceFault{ev::EStep::Cycle, "the service kept this cycle waiting too long"});
        return;
    }

    ctx.Report(ev::DownloadPass{ctx.settings.AutoDownLoad > 0});
    if (ctx.settings.AutoDownLoad > 0)
        RequestDownloadList(ctx);
}
