#include "core/display/ActivityLog.h"

#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/Utf8.h"

namespace {
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

std::string FormatTimeText(std::time_t t)
{
    const std::tm tm = LocalTime(t);
    return Format("%s %s %02d %02d:%02d:%02d %04d", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string FormatTransferLine(std::time_t t, const std::string& name)
{
    const std::tm tm = LocalTime(t);
    const std::string line =
        Format("[%2d:%2d:%2d] - %s Transferred", tm.tm_hour, tm.tm_min, tm.tm_sec, name.c_str());
    return std::string(CutUtf8(line, kTransferLineMax));
}

void CActivityLog::SetFailureSink(FailureSink sink)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink = std::move(sink);
}

void CActivityLog::WriteLogLine(const std::string& text)
{
    std::string line(CutUtf8(text, kLogTextMax));
    line += "\r\n";
    Write([&](int* error) { return m_file.Append(line, error); });
}

void CActivityLog::HoldBetweenLines(bool hold)
{
    Write([&](int* error) { return m_file.HoldBetweenLines(hold, error); });
}

void CActivityLog::Write(const std::function<CLogFile::EResult(int* error)>& write)
{
    FailureSink report;
    int error = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const CLogFile::EResult result = write(&error);
        if (result == CLogFile::EResult::Written)
            m_failing = false;
        else if (result == CLogFile::EResult::Failed && !m_failing) {
            m_failing = true;
            report = m_sink;
        }
    }
    // Outside the lock, so that a sink which ends up writing a line cannot deadlock.
    if (report)
        report(m_path, error);
}

void CActivityLog::WriteLogHeader(std::time_t now)
{
    WriteLogLine("\r\n");
    WriteLogLine(kSeparatorLine);
    WriteLogLine(FormatTimeText(now) + " - Tolvane's Orbidex Log Initialized");
    WriteLogLine(kSeparatorLine);
}

void CActivityLog::WriteShutdownBlock(std::time_t now)
{
    const std::string time = FormatTimeText(now);
    WriteLogLine("\r\n");
    WriteLogLine(kSeparatorLine);
    WriteLogLine("[" + time + "] * * * SHUTDOWN * * *");
    WriteLogLine(kSeparatorLine);
}
