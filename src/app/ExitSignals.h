#pragma once
#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a desktop logout, a service manager, Ctrl+C) end the agent the
// way its Exit command does, so the log gets its shutdown block. The handler only writes a
// byte to a pipe (all a signal handler may safely do); the command runs from the event loop.
class CExitSignals final : public QObject {
public:
    explicit CExitSignals(std::function<void()> onExit, QObject* parent = nullptr);
    ~CExitSignals() override;
    CExitSignals(const CExitSignals&) = delete;
    CExitSignals& operator=(const CExitSignals&) = delete;

    // False when the pipe or a handler could not be set up; the signals then act as before.
    bool Install();

private:
    void OnReadable();

    std::function<void()> m_onExit;
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
