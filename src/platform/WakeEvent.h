#pragma once

// A counter another thread can raise to wake a thread that watches its handle in an event
// loop; reading it resets it. Never blocks.
class CWakeEvent {
public:
    CWakeEvent();
    ~CWakeEvent();
    CWakeEvent(const CWakeEvent&) = delete;
    CWakeEvent& operator=(const CWakeEvent&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    // What an event loop watches for reading.
    int Handle() const { return m_fd; }
    // Any thread. False when it could not be raised.
    bool Raise();
    // The watching thread: takes the wake-ups raised so far.
    void Reset();

private:
    int m_fd = -1;
};
