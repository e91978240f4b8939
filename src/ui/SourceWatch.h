#pragma once
#include "core/cycle/Scan.h"
#include "core/settings/Settings.h"
#include "platform/FolderWatch.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

// Tells the main window when a recording in a source folder may have finished, so that it is
// sent then rather than at the next poll. Events are gathered: a burst of files (a recorder
// copying twenty at once) asks for one cycle, once the burst has been quiet for the settle
// time. Folders the kernel cannot watch are listed again every few seconds instead.
class CSourceWatch final : public QObject {
public:
    explicit CSourceWatch(QObject* parent = nullptr);
    ~CSourceWatch() override;

    // Watches the folders of the source pairs, dropping the ones watched before.
    void Watch(const CSettings& settings, long settleMs);
    void Stop();
    // What changed since the last call: the names events gave, or everything when events
    // were lost, a folder was watched anew, or one is listed instead.
    CScanScope TakeScope();
    // Asks for a cycle in `ms` (or sooner, if one is asked for sooner already).
    void CycleIn(long ms);

    // Called on the UI thread when a cycle should look at the folders.
    std::function<void()> onCycle;

    // Folders given events by the kernel, and folders looked at by listing.
    std::vector<std::string> Watched() const;
    std::vector<std::string> Listed() const;

    // How often a folder that cannot be watched is listed.
    static constexpr int kListMs = 3000;

private:
    struct Folder {
        std::vector<std::string> exts;
        bool watched = false;
        std::uint64_t signature = 0;  // of its last listing
    };
    void OnEvents();
    void OnListTick();
    void Changed();
    bool Matches(const Folder& f, const std::string& name) const;
    std::uint64_t Signature(const std::string& folder, const Folder& f) const;

    fsys::CFolderWatch m_watch;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_gather = nullptr;  // single shot: the cycle asked for
    QTimer* m_list = nullptr;    // folders without events
    std::map<std::string, Folder> m_folders;
    long m_settleMs = 0;
    CScanScope m_scope;             // gathered since the last TakeScope
    std::int64_t m_firstEvent = 0;  // steady ms of the burst's first event, 0: none
};
