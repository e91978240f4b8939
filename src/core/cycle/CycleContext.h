#pragma once
#include "core/cycle/LocalState.h"
#include "core/cycle/Settle.h"
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "core/state/AgentEvent.h"
#include "platform/Internet.h"

#include <atomic>
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
    // Files left for a later cycle because they are still being written, and what decides it.
    std::vector<std::string> m_held;
    CSettleTracker m_settle;
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
