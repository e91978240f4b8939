// The parser of the service's download list, apart from the cycle: it reads what a hostile
// server may send, so it is fuzzed on its own.
#include "core/cycle/DownloadList.h"

#include "platform/Format.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

constexpr std::string_view kRetryEqual = "Equal Sign not found. Will retry again in next poll";
constexpr std::string_view kRetryQuote = "Quote-sign not found. Will retry again in next poll";

constexpr std::size_t kNone = std::string_view::npos;

// First position of "<prefix><N>" for each N in 1..limit (kNone when absent), N written without
// leading zeros. "file_1" also matches the start of "file_10": each prefix of a digit run
// counts, which is how a plain search from the start of the body behaves. One pass, and memory
// for `limit` entries only, however many keys a hostile body holds.
std::vector<std::size_t> FirstKeys(std::string_view body, std::string_view prefix, int32_t limit)
{
    std::vector<std::size_t> first(static_cast<std::size_t>(limit) + 1, kNone);
    for (std::size_t at = body.find(prefix); at != kNone; at = body.find(prefix, at + 1)) {
        const std::size_t d = at + prefix.size();
        if (d >= body.size() || body[d] < '1' || body[d] > '9')
            continue;
        std::int64_t n = 0;
        for (std::size_t k = d; k < body.size() && body[k] >= '0' && body[k] <= '9'; ++k) {
            n = n * 10 + (body[k] - '0');
            if (n > limit)
                break;
            if (first[static_cast<std::size_t>(n)] == kNone)
                first[static_cast<std::size_t>(n)] = at;
        }
    }
    return first;
}

// For each position in `from`, the first `c` at or after it (kNone when there is none, or
// when the position is kNone). The positions are visited in order and each search starts past
// where the last one ended, so all of them together read the body once.
std::vector<std::size_t> NextChars(std::string_view body, char c,
                                   const std::vector<std::size_t>& from)
{
    std::vector<std::size_t> order(from.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return from[a] < from[b]; });
    std::vector<std::size_t> out(from.size(), kNone);
    std::size_t found = 0;
    bool searched = false;
    for (std::size_t i : order) {
        if (from[i] == kNone)
            break;  // sorted: only kNone from here on
        if (!searched || (found != kNone && found < from[i]))
            found = body.find(c, from[i]);
        searched = true;
        out[i] = found;
    }
    return out;
}

std::vector<std::size_t> After(const std::vector<std::size_t>& at)
{
    std::vector<std::size_t> out(at);
    for (std::size_t& p : out)
        if (p != kNone)
            ++p;
    return out;
}

// Blanks skipped, then the run up to a blank, CR, LF, "<" or the end. Reads at most
// `limit` + 1 characters: enough to tell a value over the limit.
std::string_view UnquotedValue(std::string_view body, std::size_t from, std::size_t limit,
                               bool* tooLong)
{
    while (from < body.size() && body[from] == ' ') ++from;
    std::size_t end = from;
    while (end < body.size() && end - from <= limit) {
        char c = body[end];
        if (c == ' ' || c == '\r' || c == '\n' || c == '<')
            break;
        ++end;
    }
    *tooLong = end - from > limit;
    return body.substr(from, std::min(end - from, limit));
}

// An optional sign, then digits; anything else gives 0. Saturates instead of overflowing.
int32_t LeadingInt(std::string_view v)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        negative = v[i++] == '-';
    std::int64_t n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i)
        n = std::min<std::int64_t>(n * 10 + (v[i] - '0'), std::int64_t{1} << 32);
    n = negative ? -n : n;
    n = std::clamp<std::int64_t>(n, std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(n);
}

CDownloadList& Stop(CDownloadList& r, std::string text, unsigned sinks)
{
    r.stopped = true;
    r.stopText = std::move(text);
    r.stopSinks = sinks;
    return r;
}

}  // namespace

CDownloadList ParseDownloadList(std::string_view body)
{
    CDownloadList r;
    bool tooLong = false;

    std::size_t key = body.find("countoffiles");
    if (key == std::string_view::npos)
        return Stop(r, "DL-ERROR: CFiles", kToAll);
    std::size_t eq = body.find('=', key + 12);
    if (eq == std::string_view::npos)
        return Stop(r, std::string(kRetryEqual), kToWindow);
    // Only the leading number counts, so a long value is simply cut.
    std::string_view countText = UnquotedValue(body, eq + 1, kMaxListValue, &tooLong);
    r.count = LeadingInt(countText);
    if (r.count < 0)
        return Stop(r, EscapeControlChars(countText), kToStatus | kToLog);
    r.countRead = true;

    key = body.find("SourceDir");
    if (key == std::string_view::npos)
        return Stop(r, "DL-ERROR: SDir001", kToAll);
    eq = body.find('=', key + 9);
    if (eq == std::string_view::npos)
        return Stop(r, std::string(kRetryEqual), kToWindow);
    std::string_view dir = UnquotedValue(body, eq + 1, kMaxSourceDir, &tooLong);
    if (tooLong)
        return Stop(r, "DL-ERROR: SourceDir too long. Will retry again in next poll", kToAll);
    if (HasControlChars(dir))
        return Stop(r, "DL-ERROR: Unsafe SourceDir. Will retry again in next poll", kToAll);
    r.sourceDir = dir;
    r.listStarted = true;
    if (r.count == 0)
        return r;

    // The positions of every item's parts, found for all items at once; the items are then
    // taken in order, and the first one that fails stops the list as before.
    const int32_t items = std::min(r.count, kMaxListItems);
    const std::vector<std::size_t> files = FirstKeys(body, "file_", items);
    const std::vector<std::size_t> fileIds = FirstKeys(body, "fileid_", items);
    const std::vector<std::size_t> opens = NextChars(body, '"', files);
    const std::vector<std::size_t> closes = NextChars(body, '"', After(opens));
    const std::vector<std::size_t> equals = NextChars(body, '=', fileIds);
    for (int32_t n = 1; n <= items; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (files[i] == kNone)
            return Stop(r, Format("DL-ERROR: FName%d", n), kToAll);
        if (closes[i] == kNone)
            return Stop(r, std::string(kRetryQuote), kToWindow);
        // A name past the limit is kept only far enough for the pass to refuse it as too long.
        const std::size_t length = std::min(closes[i] - opens[i] - 1, kMaxListValue + 1);
        r.names.emplace_back(body.substr(opens[i] + 1, length));

        if (fileIds[i] == kNone)
            return Stop(r, Format("DL-ERROR: FileID%d", n), kToAll);
        if (equals[i] == kNone)
            return Stop(r, "Equal Sign not found in fileid.", kToWindow);
        std::string_view id = UnquotedValue(body, equals[i] + 1, kMaxListValue, &tooLong);
        if (tooLong)
            return Stop(r, Format("DL-ERROR: FileID%d too long. Will retry again in next poll", n),
                        kToAll);
        r.ids.emplace_back(id);
    }
    return r;
}
