#pragma once
#include <cstddef>
#include <string>

// The window's line buffer and status text buffer, terminator included: a line shows at most
// kLineBufferSize - 3 bytes of text (CR LF follows), a status text kStatusBufferSize - 1.
inline constexpr std::size_t kLineBufferSize = 256;
inline constexpr std::size_t kStatusBufferSize = 1024;

// What the events' lines may do to the window and the log. The tray is the agent state's alone. Callable from the
// worker thread; every call has completed (on the UI thread where needed) when it returns.
class IDisplay {
public:
    virtual ~IDisplay() = default;
    // Status bar pane 0, through the 1024-byte status text buffer.
    virtual void SetStatusText(const std::string& text) = 0;
    // Formats text + CR LF into the 256-byte line buffer and adds the buffer to the text area.
    virtual void AddWindowLine(const std::string& text) = 0;
    virtual void WriteLogLine(const std::string& text) = 0;
    virtual void LogTransfer(const std::string& fileName) = 0;
    // Between a cycle's start and its end the log is held for its lines alone.
    virtual void HoldLog(bool /*hold*/) {}
    virtual std::string GetTimeText() const = 0;
    // Application message box (caption "Nimbrel Ravlet", OK, exclamation); returns when closed.
    virtual void MessageBox(const std::string& text) = 0;
    // The same box for a failure that needs no answer: the caller goes on at once, and while a
    // box with this text is open no second one is shown.
    virtual void PostMessageBox(const std::string& text) { MessageBox(text); }
};
