#include "core/service/WebBody.h"

#include "platform/Internet.h"

#include <cstring>

std::string ReadBody(IUrlHandle& url, bool* whole)
{
    std::string body;
    char buf[1024];
    std::size_t got = 0;
    bool ok = true;
    while ((ok = url.Read(buf, sizeof buf - 1, &got)) && got > 0) {
        buf[got] = '\0';
        body.append(buf, std::strlen(buf));
    }
    if (whole)
        *whole = ok;
    return body;
}
