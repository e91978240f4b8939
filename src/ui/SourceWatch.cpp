#include "ui/SourceWatch.h"

#include "core/cycle/Settle.h"
#include "platform/FileSystem.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>

namespace {
// Past the settle time, so that the files closed last are finished when the cycle looks.
constexpr long kMarginMs = 250;
// A folder that never stops changing still gets a cycle this long after its first change.
constexpr long kBurstCapMs = 10000;

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}
}  // namespace

CSourceWatch::CSourceWatch(QObject* parent) : QObject(parent)
{
    m_gather = new QTimer(this);
    m_gather->setSingleShot(true);
    connect(m_gather, &QTimer::timeout, this, [this] {
        m_firstEvent = 0;
        if (onCycle)
            onCycle();
    });
    m_list = new QTimer(this);
    m_list->setInterval(kListMs);
    connect(m_list, &QTimer::timeout, this, &CSourceWatch::OnListTick);
    if (m_watch.Fd() >= 0) {
        m_notifier = new QSocketNotifier(m_watch.Fd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CSourceWatch::OnEvents);
    }
}

CSourceWatch::~CSourceWatch() = default;

void CSourceWatch::Watch(const CSettings& s, long settleMs)
{
    Stop();
    m_settleMs = settleMs;
    for (int i = 0; i < kSourcePairs; ++i)
        if (!s.Dir[i].empty() && !s.Ext[i].empty())
            m_folders[WithSlash(s.Dir[i])].exts.push_back(s.Ext[i]);
    bool anyListed = false;
    for (auto& [path, f] : m_folders) {
        f.watched = m_watch.Add(path);
        if (!f.watched) {
            f.signature = Signature(path, f);
            anyListed = true;
        }
    }
    if (anyListed)
        m_list->start();
}

CScanScope CSourceWatch::TakeScope()
{
    CScanScope taken = std::move(m_scope);
    m_scope = CScanScope{false, {}};
    return taken;
}

void CSourceWatch::Stop()
{
    m_scope.all = true;
    m_watch.Clear();
    m_folders.clear();
    m_list->stop();
    m_gather->stop();
    m_firstEvent = 0;
}

void CSourceWatch::CycleIn(long ms)
{
    ms = std::max(0L, ms);
    if (!m_gather->isActive() || m_gather->remainingTime() > ms)
        m_gather->start(static_cast<int>(std::min<long>(ms, INT32_MAX)));
}

void CSourceWatch::Changed()
{
    // Each change puts the cycle off until the burst is quiet, but never past the cap.
    const std::int64_t now = SteadyNowMs();
    if (m_firstEvent == 0)
        m_firstEvent = now;
    const std::int64_t latest = m_firstEvent + m_settleMs + kBurstCapMs;
    const std::int64_t due = std::min<std::int64_t>(now + m_settleMs + kMarginMs, latest);
    m_gather->start(static_cast<int>(std::max<std::int64_t>(0, due - now)));
}

bool CSourceWatch::Matches(const Folder& f, const std::string& name) const
{
    return std::any_of(f.exts.begin(), f.exts.end(), [&](const std::string& ext) {
        return fsys::MatchWildcard("*." + ext, name);
    });
}

void CSourceWatch::OnEvents()
{
    bool changed = false;
    bool relist = false;
    for (const fsys::CFolderWatch::Event& e : m_watch.Read()) {
        if (e.folder.empty()) {
            changed = true;  // the kernel's queue overflowed: look at everything
            m_scope.all = true;
            continue;
        }
        auto it = m_folders.find(e.folder);
        if (it == m_folders.end())
            continue;
        if (e.folderGone) {
            // Deleted or moved: listed until it can be watched again.
            it->second.watched = false;
            it->second.signature = 0;
            relist = true;
            m_scope.all = true;
            continue;
        }
        if (e.name.empty() || !Matches(it->second, e.name))
            continue;
        // Marking a file done changes its mode too: only a file made writable counts.
        if (e.written || (e.attrib && !fsys::IsReadOnly(e.folder + e.name))) {
            changed = true;
            m_scope.names[e.folder].insert(e.name);
        }
    }
    if (relist && !m_list->isActive())
        m_list->start();
    if (changed)
        Changed();
}

void CSourceWatch::OnListTick()
{
    QElapsedTimer took;
    took.start();
    bool anyListed = false;
    bool changed = false;
    for (auto& [path, f] : m_folders) {
        if (f.watched)
            continue;
        // A folder made again is watched again, and what it holds is looked at.
        if (m_watch.Add(path)) {
            f.watched = true;
            changed = true;
            continue;
        }
        anyListed = true;
        const std::uint64_t sig = Signature(path, f);
        if (sig != f.signature) {
            f.signature = sig;
            changed = true;
        }
    }
    if (changed)
        m_scope.all = true;  // a listing names no file
    if (!anyListed)
        m_list->stop();
    // A slow share is listed on this thread: it gets no more than a tenth of its time.
    m_list->setInterval(static_cast<int>(std::max<qint64>(kListMs, 10 * took.elapsed())));
    if (changed)
        Changed();
}

std::uint64_t CSourceWatch::Signature(const std::string& folder, const Folder& f) const
{
    // Names, sizes, times and write bits of the matching files: what tells that one arrived,
    // grew, or was made writable again. Recent files also say whether a writer still has them,
    // so that a writer's close is noticed even when its last write was listed already.
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    const std::int64_t recentNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch())
            .count() -
        60'000'000'000LL;
    for (const std::string& ext : f.exts) {
        for (const fsys::DirEntry& e : fsys::FindFiles(folder, "*." + ext)) {
            if (e.isDirectory || e.special)
                continue;
            mix(std::hash<std::string>{}(e.name));
            mix(e.stamp.size);
            mix(static_cast<std::uint64_t>(e.stamp.mtimeNs));
            mix(e.readOnly ? 1 : 2);
            if (!e.readOnly && e.stamp.mtimeNs > recentNs)
                mix(static_cast<std::uint64_t>(fsys::WritersOf(folder + e.name)));
        }
    }
    return h;
}

std::vector<std::string> CSourceWatch::Watched() const
{
    std::vector<std::string> out;
    for (const auto& [path, f] : m_folders)
        if (f.watched)
            out.push_back(path);
    return out;
}

std::vector<std::string> CSourceWatch::Listed() const
{
    std::vector<std::string> out;
    for (const auto& [path, f] : m_folders)
        if (!f.watched)
            out.push_back(path);
    return out;
}
