// The download list as a hostile server might send it: the parser must stay inside the body,
// keep its limits, and never hand on a list that breaks its own promises.
#include "core/cycle/DownloadList.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
void Check(bool holds)
{
    if (!holds)
        std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const CDownloadList r = ParseDownloadList(body);
    Check(r.names.size() <= static_cast<std::size_t>(kMaxListItems));
    Check(r.ids.size() <= r.names.size() && r.names.size() <= r.ids.size() + 1);
    Check(r.stopped || r.names.size() == r.ids.size());
    Check(r.stopped || !r.listStarted ||
          r.ids.size() == static_cast<std::size_t>(std::min(r.count, kMaxListItems)));
    Check(r.sourceDir.size() <= kMaxSourceDir);
    Check(r.sourceDir.find_first_of("\r\n") == std::string::npos);
    for (const std::string& name : r.names) Check(name.size() <= kMaxListValue + 1);
    for (const std::string& id : r.ids) Check(id.size() <= kMaxListValue);
    Check(!r.countRead || r.count >= 0);
    Check(r.stopped == !r.stopText.empty());
    // The stop text goes to the status bar and the log as it is.
    for (char c : r.stopText) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    return 0;
}
