#include "core/display/ActivityLog.h"

#include "platform/Format.h"
#include "platform/Utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool WriteAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}
}  // namespace

std::string FormatTimeText(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    return Format("%s %s %02d %02d:%02d:%02d %04d", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string FormatTransferLine(std::time_t t, const std::string& name)
{
    std::tm tm{};
    localtime_r(&t, &tm);
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
    FailureSink report;
    int error = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bool written = false;
        int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = errno != 0 ? errno : EIO;
        } else {
            // "No sharing": another program holding the file locked makes us drop the line;
            // that program means it, so it is not reported.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                written = ::lseek(fd, 0, SEEK_END) >= 0 && WriteAll(fd, line.data(), line.size());
                if (!written)
                    error = errno != 0 ? errno : EIO;
                ::flock(fd, LOCK_UN);
            }
            ::close(fd);
        }
        if (written)
            m_failing = false;
        else if (error != 0 && !m_failing) {
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
