#pragma once
#include "core/cycle/LocalState.h"
#include "core/cycle/Settle.h"
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "core/state/AgentEvent.h"
#include "platform/Internet.h"

#include "platform/LocalFile.h"

#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The work list of one cycle, shared by the upload and the download pass.
struct CWorkList {
    std::vector<std::string> m_fileList;  // local paths (upload) or remote names (download)
    std::vector<std::string> m_fileIds;   // download identifiers
    int32_t m_nFileCount = 0;
    int32_t m_nFileIndex = 0;
    std::unique_ptr<IFtpConnection> m_pFtpConnection;
    // What the scan left out that the author must hear of: links, files sent but not marked.
    std::vector<std::string> m_skippedLinks, m_skippedUnmarked;
    std::set<fsys::FileId> m_scannedIds;  // one real file is sent once, whichever pairs name it
    CLocalState m_local;
    // Files left for a later cycle because they are still being written, those that wait a
    // moment more though nobody writes them, and what decides it.
    std::vector<std::string> m_held, m_settling;
    // Every writable matching file the last scan saw: what a narrow scan looks at again.
    std::set<std::string> m_seenWritable;
    CSettleTracker m_settle;
    // The download list named more documents than one cycle reads, and this cycle fetched
    // some of them: the next cycle follows at once instead of waiting for a poll.
    bool m_moreListed = false;
    std::vector<std::string> m_lastListIds;  // the previous download list's, to see it move
    // Held by a pass's sessions around their work on the disk and on the fields below and
    // above: the local record, the settle tracker, the held files, the archive folders.
    std::mutex m_localLock;
    // A pass's archive folders, opened once each, and what it learnt about copying into them.
    // Emptied when the pass ends: the next one looks at the disk afresh.
    struct CArchiveDir {
        fsys::CFd source;   // the source folder
        fsys::CFd archive;  // its archive folder
        fsys::FileId id;    // which folder that is, to see it replaced
    };
    std::map<std::string, CArchiveDir> m_archiveDirs;
    fsys::CopyHints m_copyHints;
    void EndLocalPass()
    {
        m_archiveDirs.clear();
        m_copyHints = {};
        m_local.EndPass();
    }
};

// What a cycle's steps work with. `settings` is the snapshot taken when the cycle started;
// write-backs to the window's record (Poll Time 0, the default TDir) go through `record`.
struct CCycleContext {
    IAgentEvents& events;  // where the steps report what happened
    IInternet& internet;
    const CEndpoints& endpoints;
    CSettings settings;
    CSettingsRecord& record;
    CWorkList& work;
    const std::atomic<bool>& cancelled;  // set at exit: stop between steps

    void Report(const CAgentEvent& event) { events.Report(event); }
};
