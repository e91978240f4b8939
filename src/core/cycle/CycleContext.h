#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "platform/Internet.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class IDisplay;

// The work list of one cycle, shared by the upload and the download pass.
struct CWorkList {
    std::vector<std::string> m_fileList;  // local paths (upload) or remote names (download)
    std::vector<std::string> m_fileIds;   // download identifiers
    int32_t m_nFileCount = 0;
    int32_t m_nFileIndex = 0;
    std::unique_ptr<IFtpConnection> m_pFtpConnection;
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
