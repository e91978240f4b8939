#pragma once
// A whole desktop session for the test process: private home and XDG folders, a virtual X
// server (or GNOME's headless Wayland), a session bus, and the desktop's own programs. Set up
// before the QApplication exists, for Qt reads the display and the bus address once.
// Everything started is stopped by its PID, the services the bus started for the session
// (found by their private HOME) included.
#include "support/AgentProcess.h"
#include "support/ChildProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <memory>
#include <vector>

enum class EDesktop { GnomeX11, GnomeWayland, Plasma };

class CDesktopSession {
public:
    explicit CDesktopSession(EDesktop desktop) : m_desktop(desktop)
    {
        // ORBIDEX_KEEP_SESSION=1 keeps the session's folder (its programs' logs) to look at.
        if (qEnvironmentVariableIntValue("ORBIDEX_KEEP_SESSION") != 0) {
            m_home.setAutoRemove(false);
            fprintf(stderr, "session folder: %s\n", qPrintable(m_home.path()));
        }
    }
    ~CDesktopSession() { StopAll(); }

    // Empty when the session runs; else why not (a program missing, one that did not start).
    QString Start();
    // The last lines of each session program's error output, for a session that did not start.
    QString LogTails(int lines = 12) const
    {
        QString out;
        for (const QFileInfo& f : QDir(Path("logs")).entryInfoList({QStringLiteral("*.err")})) {
            QFile log(f.filePath());
            if (!log.open(QIODevice::ReadOnly))
                continue;
            const QStringList all = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
            out += QStringLiteral("--- %1\n").arg(f.fileName()) +
                   all.mid(qMax(0, all.size() - lines)).join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
        return out;
    }
    EDesktop Desktop() const { return m_desktop; }
    QString Path(const char* rel) const { return m_home.filePath(QString::fromLatin1(rel)); }
    QString Display() const { return m_display; }

    // Runs a session program to its end (gsettings, xdotool); its exit code or -1.
    int Run(const QString& program, const QStringList& args, int ms = 20000)
    {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        if (!p.waitForFinished(ms)) {
            Stop(p);
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // Whether `name` has an owner on the session bus within `ms`. Asked through dbus-send:
    // the session is made before the application, whose bus connection must come after it.
    static bool WaitForName(const QString& name, int ms = 30000)
    {
        QDeadlineTimer due(ms);
        do {
            QProcess ask;
            ask.start(QStringLiteral("dbus-send"),
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                       QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                       QStringLiteral("string:") + name});
            if (ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean true"))
                return true;
            if (QCoreApplication::instance())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
            else
                QThread::msleep(100);
        } while (!due.hasExpired());
        return false;
    }
    void EnableTrayExtension(bool on)
    {
        const QString probe = QStringLiteral("'orbidex-probe@test'");
        Run(QStringLiteral("gsettings"),
            {QStringLiteral("set"), QStringLiteral("org.gnome.shell"),
             QStringLiteral("enabled-extensions"),
             on ? QStringLiteral("[%1, 'ubuntu-appindicators@ubuntu.com']").arg(probe)
                : QStringLiteral("[%1]").arg(probe)});
    }
    // Runs `script` in GNOME Shell (org.gnome.Shell.Eval); its result, or nothing on failure.
    QString ShellEval(const QString& script)
    {
        QProcess call;
        call.start(QStringLiteral("gdbus"),
                   {QStringLiteral("call"), QStringLiteral("--session"),
                    QStringLiteral("--dest=org.gnome.Shell"), QStringLiteral("--object-path=/org/gnome/Shell"),
                    QStringLiteral("--method=org.gnome.Shell.Eval"), script});
        if (!call.waitForFinished(10000))
            return {};
        const QString out = QString::fromUtf8(call.readAllStandardOutput()).trimmed();
        return out.startsWith(QLatin1String("(true,")) ? out.mid(6).chopped(1).trimmed() : QString();
    }

private:
    QProcess& Launch(const QString& program, const QStringList& args)
    {
        m_started.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_started.back();
        p.setStandardOutputFile(Path("logs") + QLatin1Char('/') + QFileInfo(program).fileName() +
                                QStringLiteral(".out"));
        p.setStandardErrorFile(Path("logs") + QLatin1Char('/') + QFileInfo(program).fileName() +
                               QStringLiteral(".err"));
        p.start(program, args);
        return p;
    }
    QString StartGnome();
    QString StartBus(QProcess& bus, const char* socket);
    // An extension of the test's own: GNOME 43 answers org.gnome.Shell.Eval only in its unsafe
    // mode, which only the shell itself (or an extension) can switch on.
    bool AddProbeExtension()
    {
        const QString dir = Path("data/gnome-shell/extensions/orbidex-probe@test");
        QDir().mkpath(dir);
        QFile meta(dir + QStringLiteral("/metadata.json"));
        QFile code(dir + QStringLiteral("/extension.js"));
        return meta.open(QIODevice::WriteOnly) &&
               meta.write(R"({"uuid": "orbidex-probe@test", "name": "Orbidex test probe",
                             "description": "Eval for the tests", "shell-version": ["43"]})") > 0 &&
               code.open(QIODevice::WriteOnly) &&
               code.write("function init() {}\n"
                          "function enable() { global.context.unsafe_mode = true; }\n"
                          "function disable() { global.context.unsafe_mode = false; }\n") > 0;
    }
    // The shell starts in its overview, where notices cannot be clicked: Escape leaves it
    // once the shell listens for keys.
    bool LeaveOverview()
    {
        QDeadlineTimer due(30000);
        while (!due.hasExpired()) {
            QProcess ask;
            ask.start(QStringLiteral("dbus-send"),
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                       QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                       QStringLiteral("string:org.gnome.Shell"),
                       QStringLiteral("string:OverviewActive")});
            if (ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean false"))
                return true;
            Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
            QThread::msleep(500);
        }
        return false;
    }
    QString StartPlasma();
    void StopAll();

    EDesktop m_desktop;
    QTemporaryDir m_home;
    QString m_display;
    QProcess m_xserver;
    QProcess m_bus;
    QProcess m_systemBus;
    std::vector<std::unique_ptr<QProcess>> m_started;  // in order of start
};

inline QString CDesktopSession::Start()
{
    const bool gnome = m_desktop != EDesktop::Plasma;
    const QStringList needed =
        gnome ? QStringList{"gnome-shell", "gnome-keyring-daemon", "gsettings", "gjs", "xdotool"}
              : QStringList{"plasmashell", "kwin_x11", "kded5", "kwalletd5", "xdotool"};
    for (const QString& tool : needed + QStringList{"dbus-daemon", "dbus-send", "Xvfb"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + QStringLiteral(" missing (tools/setup --desktops installs it)");
    if (!QFile::exists(QStringLiteral(
            "/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com/metadata.json")) &&
        gnome)
        return QStringLiteral("the tray extension is missing (tools/setup --desktops)");
    // The folders first: services the bus starts inherit the bus daemon's environment.
    for (const char* d : {"run", "config", "data", "cache", "state", "logs"})
        QDir(m_home.path()).mkpath(QString::fromLatin1(d));
    QFile::setPermissions(Path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", ""}, {"XDG_RUNTIME_DIR", "run"}, {"XDG_CONFIG_HOME", "config"},
        {"XDG_DATA_HOME", "data"}, {"XDG_CACHE_HOME", "cache"}, {"XDG_STATE_HOME", "state"}};
    for (const auto& [key, rel] : folders)
        qputenv(key, QDir::cleanPath(Path(rel)).toLocal8Bit());
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("SESSION_MANAGER");
    // The desktop's own Qt programs inherit this; under "offscreen" plasmashell has no screen,
    // hence no panel and no notification server. The test sets its own after the session runs.
    qunsetenv("QT_QPA_PLATFORM");
    if (m_desktop != EDesktop::GnomeWayland) {
        m_display = StartXvfb(m_xserver);
        if (m_display.isEmpty())
            return QStringLiteral("Xvfb did not start");
        qputenv("DISPLAY", m_display.toLocal8Bit());
    } else {
        qunsetenv("DISPLAY");
    }
    const QString address = StartBus(m_bus, "run/bus");
    if (address.isEmpty())
        return QStringLiteral("no session bus");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    return gnome ? StartGnome() : StartPlasma();
}

// A private bus daemon at `socket` under the session's folder; its address, empty if none.
inline QString CDesktopSession::StartBus(QProcess& bus, const char* socket)
{
    return StartAndReadLine(bus, QStringLiteral("dbus-daemon"),
                            {QStringLiteral("--session"), QStringLiteral("--nofork"),
                             QStringLiteral("--print-address"),
                             QStringLiteral("--address=unix:path=") + Path(socket)});
}

inline QString CDesktopSession::StartGnome()
{
    // The shell wants a system bus (for logind, which it then does without).
    const QString system = StartBus(m_systemBus, "run/system_bus");
    if (system.isEmpty())
        return QStringLiteral("no system bus stand-in");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.toLocal8Bit());
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    // Unlocked before anything asks: its first write would otherwise ask (through the shell)
    // for a new keyring's password.
    QProcess& keyring = Launch(QStringLiteral("gnome-keyring-daemon"),
                               {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                QStringLiteral("--components=secrets")});
    keyring.waitForStarted(5000);
    keyring.write("orbidex-test");  // no event loop yet: written out here
    keyring.waitForBytesWritten(5000);
    keyring.closeWriteChannel();
    if (!WaitForName(QStringLiteral("org.freedesktop.secrets"), 10000))
        return QStringLiteral("gnome-keyring-daemon did not start");
    if (!AddProbeExtension())
        return QStringLiteral("cannot write the test's shell extension");
    EnableTrayExtension(false);  // the tests switch it on after the agent started
    if (m_desktop == EDesktop::GnomeX11) {
        qputenv("XDG_SESSION_TYPE", "x11");
        Launch(QStringLiteral("gnome-shell"),
               {QStringLiteral("--x11"), QStringLiteral("--replace"), QStringLiteral("--sm-disable")});
    } else {
        qputenv("XDG_SESSION_TYPE", "wayland");
        Launch(QStringLiteral("gnome-shell"),
               {QStringLiteral("--headless"), QStringLiteral("--virtual-monitor"),
                QStringLiteral("1280x800"), QStringLiteral("--wayland"), QStringLiteral("--no-x11"),
                QStringLiteral("--wayland-display=orbidex-test")});
        qputenv("WAYLAND_DISPLAY", "orbidex-test");
    }
    if (!WaitForName(QStringLiteral("org.gnome.Shell"), 60000))
        return QStringLiteral("gnome-shell did not start (see its log in ") + Path("logs") + ")";
    // The bus name comes before the Wayland socket.
    QDeadlineTimer due(30000);
    while (m_desktop == EDesktop::GnomeWayland && !QFile::exists(Path("run/orbidex-test")) &&
           !due.hasExpired())
        QThread::msleep(100);
    if (m_desktop == EDesktop::GnomeX11 && !LeaveOverview())
        return QStringLiteral("the shell stays in its overview");
    return {};
}

inline QString CDesktopSession::StartPlasma()
{
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    qputenv("KDE_SESSION_VERSION", "5");
    qputenv("KDE_FULL_SESSION", "true");
    qputenv("XDG_SESSION_TYPE", "x11");
    // No first-use wizard: a wallet asked for is made with a password (the test types it).
    QFile rc(Path("config/kwalletrc"));
    if (!rc.open(QIODevice::WriteOnly) || rc.write("[Wallet]\nFirst Use=false\n") < 0)
        return QStringLiteral("cannot write kwalletrc");
    rc.close();
    Launch(QStringLiteral("kwin_x11"), {});
    Launch(QStringLiteral("kded5"), {});
    if (!WaitForName(QStringLiteral("org.kde.KWin"), 30000) ||
        !WaitForName(QStringLiteral("org.kde.StatusNotifierWatcher"), 30000))
        return QStringLiteral("kwin_x11 or kded5 did not start");
    Launch(QStringLiteral("plasmashell"), {QStringLiteral("--no-respawn")});
    // Its panel, and with it the notification server, comes well after its bus name on a
    // loaded machine.
    if (!WaitForName(QStringLiteral("org.kde.plasmashell"), 60000))
        return QStringLiteral("plasmashell did not start");
    if (!WaitForName(QStringLiteral("org.freedesktop.Notifications"), 90000))
        return QStringLiteral("plasmashell started without its notification server");
    return {};
}

inline void CDesktopSession::StopAll()
{
    for (auto it = m_started.rbegin(); it != m_started.rend(); ++it) Stop(**it);
    m_started.clear();
    // What the bus started for this session: its processes carry the session's HOME.
    const QByteArray mine = "HOME=" + QDir::cleanPath(m_home.path()).toLocal8Bit();
    const qint64 self = QCoreApplication::applicationPid();
    std::vector<pid_t> left;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 id = pid.toLongLong(&number);
        if (!number || id == self)
            continue;
        QFile env(QStringLiteral("/proc/%1/environ").arg(pid));
        if (env.open(QIODevice::ReadOnly) && env.readAll().split('\0').contains(mine))
            left.push_back(static_cast<pid_t>(id));
    }
    for (pid_t p : left)
        if (p != m_bus.processId() && p != m_systemBus.processId() && p != m_xserver.processId())
            ::kill(p, SIGTERM);
    Stop(m_bus);
    Stop(m_systemBus);
    Stop(m_xserver);
}
