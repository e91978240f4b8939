#pragma once
#include "core/settings/Endpoints.h"

#include <string>

// Every URL the agent sends to the service's web host is built here. Values are percent-encoded
// (RFC 3986 unreserved characters stay as they are) so that a password holding "&" or a login ID
// holding "=" reaches the service exactly as typed.
std::string UrlEncode(const std::string& value);

std::string ProbeUrl(const CEndpoints& endpoints);
std::string AuthorVerifyUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& password);
std::string UploadNotifyUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& remoteName, const std::string& lengthText);
std::string DownloadListUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& password);
std::string DownloadConfirmUrl(const CEndpoints& endpoints, const std::string& author,
                               const std::string& password, const std::string& fileId);
// bareHost: the Configuration dialog asks the bare host name, the Warning dialog the web alias.
std::string ValidExtensionsUrl(const CEndpoints& endpoints, bool bareHost);
