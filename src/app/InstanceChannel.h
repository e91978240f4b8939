#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QLocalServer;

// A second start's way to the running agent: a local socket beside the single-instance lock,
// private to the user. One request line per connection, one reply text back.
class CInstanceServer : public QObject {
    Q_OBJECT
public:
    explicit CInstanceServer(const QString& name, QObject* parent = nullptr);
    ~CInstanceServer() override;
    // Only the lock's holder listens; a socket left by a dead holder is replaced.
    bool Listen();
    // Gets each request and gives the reply; runs on the thread of the server. With `keepOpen`
    // set, the connection stays open until this process ends, so the client can see it end.
    std::function<QString(const QString& request, bool& keepOpen)> onRequest;

private:
    void Accept();
    QString m_name;
    QLocalServer* m_server = nullptr;
};

// Sends `request` to the running agent and returns its reply, or nothing when no agent
// answers within `timeoutMs` (none runs, or it is still starting). `closed` tells whether the
// agent closed the connection before the time was up.
std::optional<QString> SendToRunningInstance(const QString& name, const QString& request,
                                             int timeoutMs, bool* closed = nullptr);

// The socket's path: in the user's private runtime folder, named after the lock; empty when
// that folder is refused.
QString InstanceSocketPath(const QString& name);
