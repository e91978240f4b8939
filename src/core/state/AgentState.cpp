#include "core/state/AgentState.h"

#include "platform/Clock.h"

#include <algorithm>
#include <set>

std::string CProblem::Key() const
{
    return std::to_string(static_cast<int>(kind)) + ":" + subject;
}

namespace {
std::string Account(const CAgentEvent& e)
{
    return std::string(1, e.account == 'u' ? 'u' : 'd');
}
}  // namespace

void CAgentState::Report(const CAgentEvent& event)
{
    bool changed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        changed = FoldLocked(event);
    }
    if (onEvent)
        onEvent(event);
    if (changed && onChanged)
        onChanged();
}

void CAgentState::SetPaused(bool paused)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_paused == paused)
            return;
        m_paused = paused;
    }
    if (onChanged)
        onChanged();
}

void CAgentState::ConfigurationSaved()
{
    bool changed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        changed = Close(EProblem::LoginRefused, {});
        changed = Close(EProblem::NotConfigured, {}) || changed;
    }
    if (changed && onChanged)
        onChanged();
}

void CAgentState::PollingChanged(int pollTime)
{
    bool changed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        changed = (m_pollTime <= 0) != (pollTime <= 0) || (pollTime <= 0 && pollTime != m_pollTime);
        m_pollTime = pollTime;
    }
    if (changed && onChanged)
        onChanged();
}

void CAgentState::Open(EProblem kind, const CAgentEvent& e, const std::string& subject)
{
    CProblem p{kind, subject, e.reason, e.stage, e.status, m_clock.Now()};
    const std::string key = p.Key();
    auto it = m_problems.find(key);
    if (it != m_problems.end()) {
        p.since = it->second.since;
        it->second = std::move(p);
        return;
    }
    m_order.push_back(key);
    m_problems.emplace(key, std::move(p));
}

bool CAgentState::Close(EProblem kind, const std::string& subject)
{
    CProblem probe;
    probe.kind = kind;
    probe.subject = subject;
    const std::string key = probe.Key();
    if (m_problems.erase(key) == 0)
        return false;
    m_order.erase(std::remove(m_order.begin(), m_order.end(), key), m_order.end());
    return true;
}

bool CAgentState::CloseUnless(EProblem kind, const std::vector<std::string>& present)
{
    const std::set<std::string> keep(present.begin(), present.end());
    std::vector<std::string> gone;
    for (const auto& [key, p] : m_problems)
        if (p.kind == kind && keep.count(p.subject) == 0)
            gone.push_back(p.subject);
    for (const std::string& subject : gone) Close(kind, subject);
    return !gone.empty();
}

bool CAgentState::FoldLocked(const CAgentEvent& e)
{
    const std::size_t before = m_problems.size();
    bool changed = false;
    switch (e.kind) {
        case EEvent::CycleStarted:
            changed = !m_busy;
            m_busy = true;
            m_cycle = {};
            break;
        case EEvent::CycleEnded:
            m_busy = false;
            m_cycle.ended = m_clock.Now();
            m_cycle.number = m_last.number + 1;
            m_last = m_cycle;
            changed = true;
            break;
        case EEvent::ServiceAnswered:
            changed = Close(EProblem::ServiceDown, {});
            break;
        case EEvent::ServiceDown:
        case EEvent::NoInternet:
            Open(EProblem::ServiceDown, e, {});
            break;
        case EEvent::ServiceFault:
            Open(EProblem::ServiceFault, e, e.subject);
            break;
        case EEvent::LoginAccepted:
            changed = Close(EProblem::LoginRefused, {});
            changed = Close(EProblem::NotConfigured, {}) || changed;
            changed = Close(EProblem::ServiceFault, "login") || changed;
            changed = Close(EProblem::ServiceFault, "cycle") || changed;  // said again if due
            break;
        case EEvent::LoginRefused:
            changed = Close(EProblem::NotConfigured, {});
            changed = Close(EProblem::ServiceFault, "login") || changed;
            Open(EProblem::LoginRefused, e, {});
            break;
        case EEvent::LoginNotConfigured:
            changed = Close(EProblem::LoginRefused, {});
            Open(EProblem::NotConfigured, e, {});
            break;
        case EEvent::FtpConnected:
            changed = Close(EProblem::FtpLoginRefused, Account(e));
            changed = Close(EProblem::FtpUnreachable, Account(e)) || changed;
            break;
        case EEvent::FtpLoginRefused:
            changed = Close(EProblem::FtpUnreachable, Account(e));
            Open(EProblem::FtpLoginRefused, e, Account(e));
            break;
        case EEvent::FtpUnreachable:
            changed = Close(EProblem::FtpLoginRefused, Account(e));
            Open(EProblem::FtpUnreachable, e, Account(e));
            break;
        case EEvent::FilesWaiting:
            // A file the author removed, or marked done by hand, no longer fails.
            changed = CloseUnless(EProblem::UploadFailed, e.items);
            changed = CloseUnless(EProblem::LocalSkipped, e.items) || changed;
            break;
        case EEvent::FileSent:
            ++m_cycle.sent;
            changed = Close(EProblem::UploadFailed, e.subject);
            changed = Close(EProblem::ServiceFault, "notify") || changed;
            break;
        case EEvent::FileArchived:
            changed = Close(EProblem::UploadFailed, e.subject);
            break;
        case EEvent::FileFailed:
            // Archive and mark come after the file reached the service: it counts as sent.
            if (e.stage != EStage::Archive && e.stage != EStage::Mark)
                ++m_cycle.failed;
            Open(EProblem::UploadFailed, e, e.subject);
            break;
        case EEvent::LocalSkipped:
            ++m_cycle.failed;
            Open(EProblem::LocalSkipped, e, e.subject);
            break;
        case EEvent::ListRead:
            changed = Close(EProblem::ListFailed, {});
            changed = Close(EProblem::ServiceFault, "list") || changed;
            // A document the service no longer lists is not the author's to wait for.
            changed = CloseUnless(EProblem::DownloadFailed, e.items) || changed;
            break;
        case EEvent::ListFailed:
            Open(EProblem::ListFailed, e, {});
            break;
        case EEvent::DocumentFetched:
            ++m_cycle.fetched;
            changed = Close(EProblem::DownloadFailed, e.subject);
            break;
        case EEvent::DocumentFailed:
            // A document not confirmed is on the disk all the same.
            ++(e.stage == EStage::Confirm ? m_cycle.fetched : m_cycle.failed);
            Open(EProblem::DownloadFailed, e, e.subject);
            break;
        case EEvent::TempFilesSwept:
        case EEvent::FileHeldBack:  // not a failure: it goes when it is finished
            break;
        case EEvent::KeyringLocked:
            Open(EProblem::KeyringLocked, e, {});
            break;
        case EEvent::KeyringAnswered:
            changed = Close(EProblem::KeyringLocked, {});
            break;
        case EEvent::SettingsUnreadable:
            Open(EProblem::SettingsUnreadable, e, {});
            break;
        case EEvent::SettingsReadable:
            changed = Close(EProblem::SettingsUnreadable, {});
            break;
    }
    return changed || m_problems.size() != before;
}

CAgentState::CSnapshot CAgentState::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    CSnapshot s;
    s.busy = m_busy;
    s.last = m_last;
    s.pollTime = m_pollTime;
    s.paused = m_paused;
    for (const std::string& key : m_order) s.problems.push_back(m_problems.at(key));
    return s;
}

CAgentState::CChanges CAgentState::TakeChanges()
{
    std::lock_guard<std::mutex> guard(m_lock);
    CChanges c;
    for (const std::string& key : m_order)
        if (m_seen.count(key) == 0)
            c.opened.push_back(m_problems.at(key));
    for (const auto& [key, p] : m_seen)
        if (m_problems.count(key) == 0)
            c.closed.push_back(p);
    m_seen = m_problems;
    return c;
}
