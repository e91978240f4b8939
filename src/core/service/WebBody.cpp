#include "core/service/WebBody.h"

#include "platform/Internet.h"

std::string ReadBody(IUrlHandle& url, bool* whole)
{
    std::string body;
    char buf[1023];
    std::size_t got = 0;
    bool ok = true;
    // By its length: a zero byte in a body must not cut what follows it.
    while ((ok = url.Read(buf, sizeof buf, &got)) && got > 0) body.append(buf, got);
    if (whole)
        *whole = ok;
    return body;
}
