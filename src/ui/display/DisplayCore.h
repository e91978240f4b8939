#pragma once
#include "ui/display/Display.h"

#include <mutex>

class CActivityLog;
class IClock;

// The buffers, limits and log behind IDisplay. What only a window can do (show a status
// text, insert into the text area, run a message box) is left to the subclass.
class CDisplayCore : public IDisplay {
public:
    CDisplayCore(CActivityLog& log, const IClock& clock);

    void SetStatusText(const std::string& text) override;
    void AddWindowLine(const std::string& text) override;
    // The line buffer as it stands (after AddWindowLine: the line as shown, CR LF included).
    std::string LineBuffer() const;
    // The status text buffer as it stands: what the cycle said last in the status bar.
    std::string StatusBuffer() const;
    void WriteLogLine(const std::string& text) override;
    void LogTransfer(const std::string& fileName) override;
    void HoldLog(bool hold) override;
    std::string GetTimeText() const override;
    void MessageBox(const std::string& text) override;
    void PostMessageBox(const std::string& text) override;

    // The log's failure sink: says once, in the status bar and the window, that log lines are
    // being lost, with the file and the reason. Neither waits for the UI thread nor touches
    // the line buffer, which a cycle may be reading back; any thread.
    void ReportLogFailure(const std::string& path, int error);

    const IClock& Clock() const { return m_clock; }

protected:
    virtual void UiSetStatus(const std::string& text) = 0;
    virtual void UiInsertText(const std::string& text) = 0;
    virtual void UiMessageBox(const std::string& text) = 0;
    // Shows the box without waiting for it; where a display cannot, it waits.
    virtual void UiPostMessageBox(const std::string& text) { UiMessageBox(text); }

private:
    CActivityLog& m_log;
    const IClock& m_clock;
    mutable std::mutex m_bufferLock;
    std::string m_szLineBuffer;    // at most kLineBufferSize - 1 bytes
    std::string m_szStatusBuffer;  // at most kStatusBufferSize - 1 bytes
};
