#pragma once
#include "platform/LogFile.h"

#include <ctime>
#include <functional>
#include <mutex>
#include <string>

class IClock;

// "Sun Dec 06 23:50:42 2026": weekday, month, zero-padded day, time, year, in English.
std::string FormatTimeText(std::time_t t);
// "[ 9: 5: 3] - name Transferred", cut to 99 bytes.
std::string FormatTransferLine(std::time_t t, const std::string& name);

inline constexpr std::size_t kLogTextMax = 509;  // 512 minus CR LF and the terminator
inline constexpr std::size_t kTransferLineMax = 99;
inline const std::string kSeparatorLine(80, '=');

// The plain-text log that grows for ever. The file stays open between lines; each line is
// appended whole under one lock, so the UI thread's and the worker's lines never interleave.
// A file held by another program (an exclusive lock) or not writable loses that line.
class CActivityLog {
public:
    // Told that lines are being lost (the path and the errno of the open or write), once until
    // a line is written again. Called outside the lock, on the writing thread: it must not
    // wait for another thread that may be writing a line.
    using FailureSink = std::function<void(const std::string& path, int error)>;

    explicit CActivityLog(std::string path = "Orbidex.log") : m_path(path), m_file(std::move(path))
    {
    }

    void SetFailureSink(FailureSink sink);
    void WriteLogLine(const std::string& text);
    // A cycle's lines: see CLogFile::HoldBetweenLines.
    void HoldBetweenLines(bool hold);
    void WriteLogHeader(std::time_t now);  // start block
    void WriteShutdownBlock(std::time_t now);
    const std::string& Path() const { return m_path; }

private:
    void Write(const std::function<CLogFile::EResult(int* error)>& write);

    std::string m_path;
    std::mutex m_lock;
    CLogFile m_file;  // under m_lock
    FailureSink m_sink;
    bool m_failing = false;  // reported, and no line written since
};
