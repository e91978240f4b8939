#pragma once
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>

// Starts a helper program (a message bus, an X server) and returns the first line it prints:
// its address or display, once it is ready; empty when it printed none within 10 s.
inline QString StartAndReadLine(QProcess& p, const QString& program, const QStringList& args)
{
    p.start(program, args);
    QDeadlineTimer due(10000);
    while (!p.canReadLine() && !due.hasExpired())
        if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
            break;
    return QString::fromUtf8(p.readLine()).trimmed();
}

// Starts a private message bus and returns its address; empty when it did not come up.
inline QString StartSessionBus(QProcess& bus)
{
    return StartAndReadLine(bus, QStringLiteral("dbus-daemon"),
                            {QStringLiteral("--session"), QStringLiteral("--nofork"),
                             QStringLiteral("--print-address")});
}

// Ends what a test started, by its own process.
inline void Stop(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }
}

// Starts a virtual X server and returns its display (":N"), or nothing. It takes the first
// free number X offers; ORBIDEX_TEST_DISPLAYS=FIRST-LAST keeps it within a range instead, for
// machines where several people's servers run side by side.
inline QString StartXvfb(QProcess& p, const QString& screen = QStringLiteral("1280x800x24"))
{
    const QStringList common = {QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                QStringLiteral("-nolisten"), QStringLiteral("tcp")};
    const QStringList range = qEnvironmentVariable("ORBIDEX_TEST_DISPLAYS").split(QLatin1Char('-'));
    if (range.size() != 2) {
        const QString n = StartAndReadLine(
            p, QStringLiteral("Xvfb"), QStringList{QStringLiteral("-displayfd"), QStringLiteral("1")} + common);
        return n.isEmpty() ? QString() : QStringLiteral(":") + n;
    }
    for (int n = range[0].toInt(); n <= range[1].toInt(); ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            continue;
        p.start(QStringLiteral("Xvfb"), QStringList{QStringLiteral(":%1").arg(n)} + common);
        QDeadlineTimer due(10000);
        while (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && !due.hasExpired() &&
               !p.waitForFinished(50)) {
        }
        if (p.state() == QProcess::Running && QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return QStringLiteral(":%1").arg(n);
        Stop(p);  // taken by another meanwhile
    }
    return {};
}
