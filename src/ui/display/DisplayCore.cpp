#include "ui/display/DisplayCore.h"

#include "core/display/ActivityLog.h"
#include "platform/Clock.h"
#include "platform/Utf8.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

CDisplayCore::CDisplayCore(CActivityLog& log, const IClock& clock)
    : m_log(log), m_clock(clock)
{
}

void CDisplayCore::SetStatusText(const std::string& text)
{
    std::string shown;
    {
        std::lock_guard<std::mutex> guard(m_bufferLock);
        m_szStatusBuffer.assign(CutUtf8(text, kStatusBufferSize - 1));
        shown = m_szStatusBuffer;
    }
    UiSetStatus(shown);
}

void CDisplayCore::AddWindowLine(const std::string& text)
{
    std::string shown;
    {
        std::lock_guard<std::mutex> guard(m_bufferLock);
        // Text, CR LF and the terminator fit the buffer: 253 bytes of text at most.
        std::string line(CutUtf8(text, kLineBufferSize - 3));
        line += "\r\n";
        m_szLineBuffer = line;
        shown = std::move(line);
    }
    UiInsertText(shown);
}

std::string CDisplayCore::LineBuffer() const
{
    std::lock_guard<std::mutex> guard(m_bufferLock);
    return m_szLineBuffer;
}

std::string CDisplayCore::StatusBuffer() const
{
    std::lock_guard<std::mutex> guard(m_bufferLock);
    return m_szStatusBuffer;
}

void CDisplayCore::WriteLogLine(const std::string& text)
{
    m_log.WriteLogLine(text);
}

void CDisplayCore::HoldLog(bool hold)
{
    m_log.HoldBetweenLines(hold);
}

void CDisplayCore::LogTransfer(const std::string& fileName)
{
    m_log.WriteLogLine(FormatTransferLine(m_clock.Now(), fileName));
}

std::string CDisplayCore::GetTimeText() const
{
    return FormatTimeText(m_clock.Now());
}

void CDisplayCore::ReportLogFailure(const std::string& path, int error)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    const std::string where = ec ? path : full.lexically_normal().string();
    char buffer[256];
    const std::string reason = strerror_r(error, buffer, sizeof buffer);
    const char* todo = "Log lines are lost until it can be written again.";
    if (error == EACCES || error == EPERM || error == EROFS)
        todo = "Log lines are lost; start the agent from a folder you can write to.";
    else if (error == ELOOP)
        todo = "Log lines are lost; it is a symbolic link: remove it.";
    else if (error == ENOSPC || error == EDQUOT)
        todo = "Log lines are lost; free some disk space.";
    const std::string status = "Cannot write the log " + where + ": " + reason;
    UiSetStatus(std::string(CutUtf8(status, kStatusBufferSize - 1)));
    const std::string line = GetTimeText() + " - " + status + ". " + todo;
    UiInsertText(std::string(CutUtf8(line, kLineBufferSize - 3)) + "\r\n");
}

void CDisplayCore::MessageBox(const std::string& text)
{
    UiMessageBox(text);
}

void CDisplayCore::PostMessageBox(const std::string& text)
{
    UiPostMessageBox(text);
}
