#include "core/state/AgentState.h"

#include "core/state/EventText.h"
#include "platform/Clock.h"

#include <algorithm>
#include <set>

std::string CProblem::Key() const
{
    return std::to_string(static_cast<int>(kind)) + ":" + subject;
}

namespace {
std::string Account(char account)
{
    return std::string(1, account == 'u' ? 'u' : 'd');
}

const char* StepName(ev::EStep step)
{
    switch (step) {
        case ev::EStep::Login: return "login";
        case ev::EStep::Cycle: return "cycle";
        case ev::EStep::Notify: return "notify";
        case ev::EStep::List: return "list";
    }
    return "";
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

void CAgentState::SetPaused(bool paused)
{
    bool changed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        changed = m_paused != paused;
        m_paused = paused;
    }
    if (changed && onChanged)
        onChanged();
}

void CAgentState::Open(EProblem kind, const std::string& subject, const std::string& reason,
                       EStage stage, long status)
{
    CProblem p{kind, subject, reason, stage, status, m_clock.Now()};
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

bool CAgentState::FoldLocked(const CAgentEvent& event)
{
    const std::size_t before = m_problems.size();
    bool changed = false;
    std::visit([&](const auto& e) { changed = Fold(e); }, event.payload);
    return changed || m_problems.size() != before;
}

bool CAgentState::Fold(const ev::CycleStarted&)
{
    const bool changed = !m_busy;
    m_busy = true;
    m_cycle = {};
    return changed;
}

bool CAgentState::Fold(const ev::CycleEnded&)
{
    m_busy = false;
    m_transfers.clear();  // one cut short at exit says no more
    m_cycle.ended = m_clock.Now();
    m_cycle.number = m_last.number + 1;
    m_last = m_cycle;
    return true;
}

bool CAgentState::Fold(const ev::ServiceAnswered&)
{
    return Close(EProblem::ServiceDown, {});
}

bool CAgentState::Fold(const ev::ServiceDown& e)
{
    Open(EProblem::ServiceDown, {}, e.reason);
    return false;
}

bool CAgentState::Fold(const ev::NoInternet&)
{
    Open(EProblem::ServiceDown, {}, {});
    return false;
}

bool CAgentState::Fold(const ev::ServiceFault& e)
{
    Open(EProblem::ServiceFault, StepName(e.step), e.reason, EStage::None, e.status);
    return false;
}

bool CAgentState::Fold(const ev::LoginAccepted&)
{
    bool changed = Close(EProblem::LoginRefused, {});
    changed = Close(EProblem::NotConfigured, {}) || changed;
    changed = Close(EProblem::ServiceFault, "login") || changed;
    return Close(EProblem::ServiceFault, "cycle") || changed;  // said again if due
}

bool CAgentState::Fold(const ev::LoginRefused&)
{
    bool changed = Close(EProblem::NotConfigured, {});
    changed = Close(EProblem::ServiceFault, "login") || changed;
    Open(EProblem::LoginRefused, {}, {});
    return changed;
}

bool CAgentState::Fold(const ev::LoginNotConfigured&)
{
    const bool changed = Close(EProblem::LoginRefused, {});
    Open(EProblem::NotConfigured, {}, {});
    return changed;
}

bool CAgentState::Fold(const ev::FtpConnected& e)
{
    const bool changed = Close(EProblem::FtpLoginRefused, Account(e.account));
    return Close(EProblem::FtpUnreachable, Account(e.account)) || changed;
}

bool CAgentState::Fold(const ev::FtpLoginRefused& e)
{
    const bool changed = Close(EProblem::FtpUnreachable, Account(e.account));
    Open(EProblem::FtpLoginRefused, Account(e.account), e.reason);
    return changed;
}

bool CAgentState::Fold(const ev::FtpUnreachable& e)
{
    const bool changed = Close(EProblem::FtpLoginRefused, Account(e.account));
    Open(EProblem::FtpUnreachable, Account(e.account), e.reason);
    return changed;
}

bool CAgentState::Fold(const ev::FilesWaiting& e)
{
    // A file the author removed, or marked done by hand, no longer fails.
    const bool changed = CloseUnless(EProblem::UploadFailed, e.paths);
    return CloseUnless(EProblem::LocalSkipped, e.paths) || changed;
}

bool CAgentState::EndTransfer(EDirection direction, const std::string& name)
{
    const auto it = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const ev::Progress& t) {
        return t.direction == direction && t.name == name;
    });
    if (it == m_transfers.end())
        return false;
    m_transfers.erase(it);
    return true;
}

bool CAgentState::Fold(const ev::Progress& e)
{
    for (ev::Progress& t : m_transfers) {
        if (t.direction == e.direction && t.name == e.name) {
            t = e;
            return true;
        }
    }
    m_transfers.push_back(e);
    return true;
}

bool CAgentState::Fold(const ev::FileDone& e)
{
    return EndTransfer(e.direction, e.name);
}

bool CAgentState::Fold(const ev::FileSent& e)
{
    ++m_cycle.sent;
    const bool changed = Close(EProblem::UploadFailed, e.path);
    return Close(EProblem::ServiceFault, "notify") || changed;
}

bool CAgentState::Fold(const ev::FileArchived& e)
{
    return !e.stillUnmarked && Close(EProblem::UploadFailed, e.path);
}

bool CAgentState::Fold(const ev::FileFailed& e)
{
    // Archive and mark come after the file reached the service: it counts as sent.
    const bool local = e.stage == EStage::Archive || e.stage == EStage::Mark;
    if (!local)
        ++m_cycle.failed;
    Open(EProblem::UploadFailed, e.path, local ? e.reason : FailureText(e), e.stage);
    return EndTransfer(EDirection::Up, NameOfPath(e.path));
}

bool CAgentState::Fold(const ev::LocalSkipped& e)
{
    ++m_cycle.failed;
    Open(EProblem::LocalSkipped, e.path, SkipText(e),
         e.why == ev::ESkip::ControlChar ? EStage::Put : EStage::None);
    return false;
}

bool CAgentState::Fold(const ev::ListRead& e)
{
    bool changed = Close(EProblem::ListFailed, {});
    changed = Close(EProblem::ServiceFault, "list") || changed;
    // A document the service no longer lists is not the author's to wait for.
    return CloseUnless(EProblem::DownloadFailed, e.names) || changed;
}

bool CAgentState::Fold(const ev::ListFailed& e)
{
    Open(EProblem::ListFailed, {}, e.reason, EStage::None, e.status);
    return false;
}

bool CAgentState::Fold(const ev::DocumentFetched& e)
{
    ++m_cycle.fetched;
    return Close(EProblem::DownloadFailed, e.name);
}

bool CAgentState::Fold(const ev::DocumentFailed& e)
{
    // A document not confirmed is on the disk all the same.
    ++(e.stage == EStage::Confirm ? m_cycle.fetched : m_cycle.failed);
    Open(EProblem::DownloadFailed, e.name, e.reason, e.stage);
    return EndTransfer(EDirection::Down, e.name);
}

bool CAgentState::Fold(const ev::KeyringLocked& e)
{
    Open(EProblem::KeyringLocked, {}, e.reason);
    return false;
}

bool CAgentState::Fold(const ev::KeyringAnswered&)
{
    return Close(EProblem::KeyringLocked, {});
}

bool CAgentState::Fold(const ev::SettingsUnreadable& e)
{
    Open(EProblem::SettingsUnreadable, {}, e.reason);
    return false;
}

bool CAgentState::Fold(const ev::SettingsReadable&)
{
    return Close(EProblem::SettingsUnreadable, {});
}

CAgentState::CSnapshot CAgentState::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return SnapshotLocked();
}

CAgentState::CSnapshot CAgentState::SnapshotLocked() const
{
    CSnapshot s;
    s.busy = m_busy;
    s.last = m_last;
    s.pollTime = m_pollTime;
    s.paused = m_paused;
    if (!m_transfers.empty())
        s.transfer = m_transfers.front();
    for (const std::string& key : m_order) s.problems.push_back(m_problems.at(key));
    return s;
}

CAgentState::CTaken CAgentState::Take()
{
    std::lock_guard<std::mutex> guard(m_lock);
    CTaken t{SnapshotLocked(), {}};
    for (const std::string& key : m_order)
        if (m_seen.count(key) == 0)
            t.changes.opened.push_back(m_problems.at(key));
    for (const auto& [key, p] : m_seen)
        if (m_problems.count(key) == 0)
            t.changes.closed.push_back(p);
    m_seen = m_problems;
    return t;
}
