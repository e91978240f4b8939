#include "core/cycle/Automation.h"

#include "core/cycle/Archive.h"
#include "core/cycle/DownloadList.h"
#include "core/cycle/Scan.h"
#include "core/cycle/Upload.h"
#include "core/display/Display.h"
#include "core/resources/Resources.h"
#include "core/service/AuthorValidation.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

#include <chrono>

bool CheckInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints)
{
    const EFetchResult probe = ProbeInternet(display, internet, endpoints);
    if (probe == EFetchResult::NoInternet)
        display.MessageBox(kInternetOpenFailed);
    return probe == EFetchResult::Ok;
}

CAutomation::CAutomation(IDisplay& display, IInternet* internet, const CEndpoints& endpoints,
                         CSettingsRecord& record)
    : m_display(display), m_internet(internet), m_endpoints(endpoints), m_record(record)
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
    ++m_cyclesStarted;
    m_display.SetTrayResource(IDI_TRAY_BUSY);
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
    try {
        if (m_internet) {
            CCycleContext ctx{m_display, *m_internet, m_endpoints, std::move(snapshot),
                              m_record,  m_work,      m_cancelled};
            m_internet->SetWaitBudget(m_waitBudgetMs.load());
            // One connection per web host for the whole cycle, closed at its end.
            m_internet->KeepWebConnections(true);
            RunCycle(ctx);
        } else {
            m_work.m_faults = {};
            m_work.m_faults.unreachable = true;
            m_display.SetStatusText("No Internet Access");
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
    m_display.SetTrayResource(IDI_TRAY_IDLE);
    if (onCycleEnd)
        onCycleEnd();
    m_nBusy = 0;
    m_running = false;
}

void CAutomation::RunCycle(CCycleContext& ctx)
{
    IDisplay& d = m_display;
    m_work.m_faults = {};
    // Only names this agent recorded as its own are removed, never a file that looks alike.
    if (const int swept = m_work.m_local.Temps().Sweep(); swept > 0) {
        const std::string line = d.GetTimeText() + " - Removed " + std::to_string(swept) +
                                 " unfinished temporary file(s) left by an interrupted run";
        d.AddWindowLine(line);
        d.WriteLogLine(line);
    }
    if (!CheckInternet(d, ctx.internet, m_endpoints)) {
        m_work.m_faults.unreachable = true;
        if (!m_cancelled) {
            d.SetStatusText("No Internet Access");
            const std::string line = d.GetTimeText() +
                                     " - No Internet Access: the service did not answer; the "
                                     "next poll tries again.";
            d.AddWindowLine(line);
            d.WriteLogLine(line);
        }
        return;
    }
    if (m_cancelled)
        return;
    const EAuthorCheck login = ValidateAuthor(d, ctx.internet, m_endpoints, ctx.settings);
    if (login == EAuthorCheck::Unchecked) {
        if (m_cancelled)
            return;
        // The service failed, not the author: polling stays on and the next poll asks again.
        m_work.m_faults.unreachable = true;
        const std::string line = d.GetTimeText() +
                                 " - The service could not check the login; it is tried again "
                                 "at the next poll.";
        d.AddWindowLine(line);
        d.WriteLogLine(line);
        return;
    }
    if (login == EAuthorCheck::Refused) {
        if (m_cancelled)
            return;
        m_work.m_faults.loginRefused = true;
        d.AddWindowLine("Invalid Author Name or Password.");
        d.AddWindowLine(" ");
        d.WriteLogLine("Invalid Author Name or Password.");
        d.SetStatusText("Invalid Author Name or Password.");
        // Polling stays off until the settings are loaded again; the stored value is kept.
        m_record.Update([](CSettings& s) { s.PollTime = 0; });
        return;
    }
    if (m_cancelled)
        return;

    m_nBusy = 3;
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

    if (ctx.settings.AutoDownLoad > 0) {
        d.AddWindowLine("Starting Auto-Download Process");
        d.SetStatusText("Starting Auto Download");
        RequestDownloadList(ctx);
    } else {
        d.AddWindowLine("Auto Download is off");
        d.SetStatusText("Auto Download is off");
    }
}
