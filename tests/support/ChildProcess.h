#pragma once
#include <QDeadlineTimer>
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
