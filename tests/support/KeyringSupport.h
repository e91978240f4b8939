#pragma once
// What the keyring tests share: an author's saved settings, and a Secret Service of the test's
// own (a private session bus and an unlocked gnome-keyring-daemon), stopped by PID at its end.
#include "core/settings/Settings.h"
#include "support/ChildProcess.h"
#include "support/MemoryProfileStore.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <string>

// The settings a load gives by default, with a login, a password and a poll.
inline CSettings AuthorSettings(const std::string& login, const std::string& password)
{
    CMemoryProfileStore none;
    CSettings s = LoadSettings(none);
    s.Author = login;
    s.Password = password;
    s.PollTime = 5;
    return s;
}

class CPrivateSecretService {
public:
    // Sets this process's session bus: the first address a process uses is the one it keeps.
    CPrivateSecretService()
    {
        for (const char* tool : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                m_missing = std::string(tool) + " is not installed (tools/setup installs it)";
        if (!m_missing.empty())
            return;
        qputenv("DBUS_SESSION_BUS_ADDRESS", StartSessionBus(m_bus).toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.path());  // its keyrings go here
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_daemon.setProcessEnvironment(env);
        // It prints its control folder once the keyring is unlocked and on the bus.
        m_daemon.start(QStringLiteral("gnome-keyring-daemon"),
                       {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                        QStringLiteral("--components=secrets")});
        m_daemon.waitForStarted(5000);
        m_daemon.write("test-password");
        m_daemon.waitForBytesWritten(3000);  // no event loop runs here to send it
        m_daemon.closeWriteChannel();
        if (!m_daemon.waitForReadyRead(10000))
            m_failed = "gnome-keyring-daemon did not come up";
    }
    ~CPrivateSecretService()
    {
        Stop(m_daemon);
        Stop(m_bus);
    }
    // Why the tests cannot run: a tool not installed (skip) or one that failed (fail).
    const std::string& Missing() const { return m_missing; }
    const std::string& Failed() const { return m_failed; }

private:
    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_daemon;
    std::string m_missing, m_failed;
};
