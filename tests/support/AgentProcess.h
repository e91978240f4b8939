#pragma once
// Runs the agent's program in a private runtime and configuration folder, so its lock, socket
// and settings are the test's own. The event loop turns while waiting, so an agent living in
// the test process can answer.
#include "core/settings/Settings.h"
#include "platform/QtProfileStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

struct CRun {
    int code = -1;  // -1: did not end in time, or crashed
    QString out;
    QString err;
};

class CAgentHome {
public:
    CAgentHome()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(Path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path("run"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path("config"));
        m_env.insert(QStringLiteral("XDG_STATE_HOME"), Path("state"));
        m_env.insert(QStringLiteral("HOME"), m_dir.path());
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    QString Path(const char* rel) const { return m_dir.filePath(QString::fromLatin1(rel)); }
    const QProcessEnvironment& Env() const { return m_env; }
    // For the programs started after it (a display, a message bus).
    void SetEnv(const char* key, const QString& value)
    {
        m_env.insert(QString::fromLatin1(key), value);
    }
    void UnsetEnv(const char* key) { m_env.remove(QString::fromLatin1(key)); }
    // This process takes the same folders (for an agent run inside the test).
    void Enter() const
    {
        for (const char* k : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "HOME"})
            qputenv(k, m_env.value(QString::fromLatin1(k)).toLocal8Bit());
        QDir::setCurrent(m_dir.path());
        // QSettings keeps the folder it found first in a process.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Path("config"));
    }
    // A saved configuration that starts without the Configuration dialog; one source folder.
    void SaveConfiguration() const
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("src"));
        CQtProfileStore store(Path("config") + QStringLiteral("/Orbidex/Nimbrel Ravlet.conf"));
        CSettings s;
        s.ShowConfig = 0;
        s.Author = "author";
        s.Password = "secret";
        s.PollTime = 30;
        s.Dir[0] = Path("src").toStdString() + "/";
        s.Ext[0] = "wav";
        SaveSettings(store, s);
        store.Sync();
    }
    // Starts `program args` in the folder; returns at once.
    QProcess* Start(const QString& program, const QStringList& args)
    {
        auto* p = new QProcess();
        p->setProcessEnvironment(m_env);
        p->setWorkingDirectory(m_dir.path());
        p->start(program, args);
        m_started.emplace_back(p);
        return p;
    }
    static CRun Wait(QProcess* p, int ms = 20000)
    {
        QDeadlineTimer due(ms);
        while (!p->waitForFinished(10) && !due.hasExpired()) QCoreApplication::processEvents();
        CRun r;
        if (p->state() == QProcess::NotRunning && p->exitStatus() == QProcess::NormalExit)
            r.code = p->exitCode();
        r.out = QString::fromUtf8(p->readAllStandardOutput());
        r.err = QString::fromUtf8(p->readAllStandardError());
        return r;
    }
    CRun Run(const QString& program, const QStringList& args, int ms = 20000)
    {
        return Wait(Start(program, args), ms);
    }
    ~CAgentHome()
    {
        for (auto& p : m_started) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_started;
};

// Waits, turning the event loop, until `done` or `ms` have passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer due(ms);
    while (!done() && !due.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
