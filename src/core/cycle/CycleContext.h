#pragma once
#include "core/cycle/LocalState.h"
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "platform/Internet.h"

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

class IDisplay;

// What went wrong in one cycle, for what the agent shows between cycles.
struct CCycleFaults {
    bool loginRefused = false;
    bool unreachable = false;      // the web host, the login check or the FTP host did not answer
    int32_t transferFailures = 0;  // files that failed to go up or come down
    int32_t localFailures = 0;     // files sent but not archived, or not marked sent
    bool Any() const
    {
        return loginRefused || unreachable || transferFailures > 0 || localFailures > 0;
    }
};

// The work list of one cycle, shared by the upload and the download pass.
struct CWorkList {
    std::vector<std::string> m_fileList;  // local paths (upload) or remote names (download)
    std::vector<std::string> m_fileIds;   // download identifiers
    int32_t m_nFileCount = 0;
    int32_t m_nFileIndex = 0;
    std::unique_ptr<IFtpConnection> m_pFtpConnection;
    CCycleFaults m_faults;  // cleared as each cycle starts
    // What the scan left out that the author must hear of: links, files sent but not marked.
    std::vector<std::string> m_skippedLinks, m_skippedUnmarked;
    std::set<fsys::FileId> m_scannedIds;  // one real file is sent once, whichever pairs name it
    CLocalState m_local;
};

// What a cycle's steps work with. `settings` is the snapshot taken when the cycle started;
// write-backs to the window's record (Poll Time 0, the default TDir) go through `record`.
struct CCycleContext {
    IDisplay& display;
    IInternet& internet;
    const CEndpoints& endpoints;
    CSettings settings;
    CSettingsRecord& record;
    CWorkList& work;
    const std::atomic<bool>& cancelled;  // set at exit: stop between steps
};
