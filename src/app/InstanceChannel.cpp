#include "app/InstanceChannel.h"

#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {
constexpr int kMaxRequest = 256;  // requests are single words; anything longer is not ours
constexpr int kServeMs = 2000;    // a client that stops sending is dropped
}  // namespace

QString InstanceSocketPath(const QString& name)
{
    // Only in the user's own folder: a socket anyone else could make would answer for us.
    const QString dir = PrivateRuntimeFolder();
    return dir.isEmpty() ? QString() : QDir(dir).filePath(name + QStringLiteral(".sock"));
}

CInstanceServer::CInstanceServer(const QString& name, QObject* parent)
    : QObject(parent), m_name(InstanceSocketPath(name))
{
}

CInstanceServer::~CInstanceServer() = default;

bool CInstanceServer::Listen()
{
    if (m_name.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::Accept);
    return true;
}

void CInstanceServer::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that connects and says nothing must not hold a socket for good.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(kServeMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, idle] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
                return;
            }
            idle->stop();
            const QString request = QString::fromUtf8(socket->readLine(kMaxRequest)).trimmed();
            bool keepOpen = false;
            const QString reply = onRequest ? onRequest(request, keepOpen) : QString();
            socket->write(reply.toUtf8());
            socket->flush();
            if (!keepOpen)
                socket->disconnectFromServer();
        });
    }
}

std::optional<QString> SendToRunningInstance(const QString& name, const QString& request,
                                             int timeoutMs, bool* closed)
{
    const QString path = InstanceSocketPath(name);
    if (path.isEmpty())
        return std::nullopt;
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    // The agent may hold the lock but not listen yet (it is starting): try again until due.
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(50);
    }
    socket.write(request.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            reply += socket.readAll();
    }
    reply += socket.readAll();
    if (closed)
        *closed = socket.state() != QLocalSocket::ConnectedState;
    if (reply.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(reply);
}
