#include "core/service/ServiceUrls.h"

#include "platform/FtpPath.h"

namespace {

// A configured origin written with a trailing slash must not double the paths' leading one.
std::string Origin(const std::string& origin)
{
    std::string o = origin;
    while (!o.empty() && o.back() == '/') o.pop_back();
    return o;
}

}  // namespace

std::string UrlEncode(const std::string& value)
{
    // Query values and FTP path segments escape the same way: all but the unreserved characters.
    return curlnet::EncodeSegment(value);
}

std::string ProbeUrl(const CEndpoints& endpoints)
{
    return Origin(endpoints.httpOrigin) + "//";
}

std::string AuthorVerifyUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& password)
{
    return Origin(endpoints.httpsOrigin) +
           "/nimbrel/authorverify.php?username=" + UrlEncode(author) + "&wp=" + UrlEncode(password);
}

std::string UploadNotifyUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& remoteName, const std::string& lengthText)
{
    return Origin(endpoints.httpOrigin) + "/nimbrel/copywav.php?username=" + UrlEncode(author) +
           "&file=" + UrlEncode(remoteName) + "&length=" + UrlEncode(lengthText);
}

std::string DownloadListUrl(const CEndpoints& endpoints, const std::string& author,
                            const std::string& password)
{
    return Origin(endpoints.httpsOrigin) + "/nimbrel/orbidexdload.php?author=" + UrlEncode(author) +
           "&nbupw=" + UrlEncode(password);
}

std::string DownloadConfirmUrl(const CEndpoints& endpoints, const std::string& author,
                               const std::string& password, const std::string& fileId)
{
    return Origin(endpoints.httpOrigin) + "/nimbrel/nbdlsuccess.php?username=" + UrlEncode(author) +
           "&nbupw=" + UrlEncode(password) + "&fileid=" + UrlEncode(fileId);
}

std::string ValidExtensionsUrl(const CEndpoints& endpoints, bool bareHost)
{
    return Origin(bareHost ? endpoints.httpBareOrigin : endpoints.httpOrigin) +
           "/nimbrel/extverify.php?ext=";
}
