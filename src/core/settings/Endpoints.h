#pragma once
#include <string>

// The service's fixed addresses. One build has one set; tests point the core anywhere.
struct CEndpoints {
    std::string httpOrigin;      // probe, upload notification, confirmation, Warning dialog list
    std::string httpsOrigin;     // author validation, download list
    std::string httpBareOrigin;  // Configuration dialog's list of valid extensions
    std::string ftpHost;         // host or host:port (port 21 otherwise)
    std::string ftpTopDir;       // top directory of /<top>/nimbreluploads/
    std::string supportEmail;    // the download failure lines
    std::string caFile;          // PEM trusted instead of the system store; empty = system
};

// The values this build was configured with.
const CEndpoints& BuildEndpoints();
