#include "core/cycle/DownloadList.h"

#include "core/cycle/CycleContext.h"
#include "core/cycle/Download.h"
#include "core/display/Display.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/Format.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>

namespace {

constexpr std::string_view kRetryEqual = "Equal Sign not found. Will retry again in next poll";
constexpr std::string_view kRetryQuote = "Quote-sign not found. Will retry again in next poll";

// First position of every "<prefix><N>" in the body, N >= 1 written without leading zeros.
// "file_1" also matches the start of "file_10": each prefix of a digit run counts, which is
// how a plain search from the start of the body behaves. Built in one pass so a long list
// does not cost a search from the start per item.
class CKeyIndex {
public:
    CKeyIndex(std::string_view body, std::string_view prefix)
    {
        for (std::size_t at = body.find(prefix); at != std::string_view::npos;
             at = body.find(prefix, at + 1)) {
            std::size_t d = at + prefix.size();
            if (d >= body.size() || body[d] < '1' || body[d] > '9')
                continue;
            std::uint64_t n = 0;
            for (std::size_t k = d; k < body.size() && k - d < 10; ++k) {
                if (body[k] < '0' || body[k] > '9')
                    break;
                n = n * 10 + static_cast<unsigned>(body[k] - '0');
                if (n > static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max()))
                    break;
                m_first.emplace(static_cast<int32_t>(n), at);  // keeps the earliest
            }
        }
    }
    std::optional<std::size_t> Find(int32_t n) const
    {
        auto it = m_first.find(n);
        if (it == m_first.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::unordered_map<int32_t, std::size_t> m_first;
};

// Sorted positions of one character, for "the next one at or after here" without rescanning.
class CCharIndex {
public:
    CCharIndex(std::string_view body, char c)
    {
        for (std::size_t i = body.find(c); i != std::string_view::npos; i = body.find(c, i + 1))
            m_at.push_back(i);
    }
    std::optional<std::size_t> Next(std::size_t from) const
    {
        auto it = std::lower_bound(m_at.begin(), m_at.end(), from);
        if (it == m_at.end())
            return std::nullopt;
        return *it;
    }

private:
    std::vector<std::size_t> m_at;
};

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

bool HasControl(std::string_view v)
{
    return std::any_of(v.begin(), v.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
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
        return Stop(r, std::string(countText), kToStatus | kToLog);
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
    if (HasControl(dir))
        return Stop(r, "DL-ERROR: Unsafe SourceDir. Will retry again in next poll", kToAll);
    r.sourceDir = dir;
    r.listStarted = true;
    if (r.count == 0)
        return r;

    const CKeyIndex files(body, "file_");
    const CKeyIndex fileIds(body, "fileid_");
    const CCharIndex quotes(body, '"');
    const CCharIndex equals(body, '=');
    for (int32_t n = 1; n <= r.count; ++n) {
        std::optional<std::size_t> at = files.Find(n);
        if (!at)
            return Stop(r, Format("DL-ERROR: FName%d", n), kToAll);
        std::optional<std::size_t> open = quotes.Next(*at);
        std::optional<std::size_t> close = open ? quotes.Next(*open + 1) : std::nullopt;
        if (!close)
            return Stop(r, std::string(kRetryQuote), kToWindow);
        r.names.emplace_back(body.substr(*open + 1, *close - *open - 1));

        at = fileIds.Find(n);
        if (!at)
            return Stop(r, Format("DL-ERROR: FileID%d", n), kToAll);
        std::optional<std::size_t> idEq = equals.Next(*at);
        if (!idEq)
            return Stop(r, "Equal Sign not found in fileid.", kToWindow);
        std::string_view id = UnquotedValue(body, *idEq + 1, kMaxListValue, &tooLong);
        if (tooLong)
            return Stop(r, Format("DL-ERROR: FileID%d too long. Will retry again in next poll", n),
                        kToAll);
        r.ids.emplace_back(id);
    }
    return r;
}

void RequestDownloadList(CCycleContext& ctx)
{
    IDisplay& display = ctx.display;
    display.AddWindowLine(display.GetTimeText() + " - Getting List of Files from the Server");

    const CWebReply reply = FetchUrl(
        ctx.internet, DownloadListUrl(ctx.endpoints, ctx.settings.Author, ctx.settings.Password));
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(display);
    const std::string& body = reply.body;
    if (body.empty()) {
        const std::string line = display.GetTimeText() + " ERROR: Is the network down ???";
        display.AddWindowLine(line);
        display.SetStatusText(line);
        display.WriteLogLine(line);
        return;
    }

    const CDownloadList list = ParseDownloadList(body);
    if (list.countRead)
        display.AddWindowLine(Format("Number of File(s) to Download : %d", list.count));
    if (list.listStarted) {
        CWorkList& work = ctx.work;
        work.m_fileList = list.names;
        work.m_fileIds = list.ids;
        work.m_nFileCount = static_cast<int32_t>(list.ids.size());
    }
    if (list.stopped) {
        if (list.stopSinks & kToWindow)
            display.AddWindowLine(list.stopText);
        if (list.stopSinks & kToStatus)
            display.SetStatusText(list.stopText);
        if (list.stopSinks & kToLog)
            display.WriteLogLine(list.stopText);
        return;
    }

    if (ctx.work.m_nFileCount > 0) {
        display.AddWindowLine("Downloading Files");
        DownloadFiles(ctx, list.sourceDir);
        return;
    }
    const std::string time = display.GetTimeText();
    display.AddWindowLine(time + " No File to Download\r\n");
    display.SetStatusText("No File to Download");
    display.WriteLogLine(time + " No File to Download");
}
