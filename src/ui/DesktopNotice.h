#pragma once
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

// The desktop's notices of the agent's problems: one per problem, kept by its key. Opening a
// key that is shown replaces its notice; closing takes it off the desktop.
class INotices {
public:
    virtual ~INotices() = default;
    virtual void Open(const QString& key, const QString& text) = 0;
    virtual void Close(const QString& key) = 0;
};

// Freedesktop notifications on the session bus, titled with the program's name and carrying an
// action that opens the window. Where no notification server runs, the `balloon` fallback
// shows the text (the tray's own message) instead.
class CDesktopNotices final : public QObject, public INotices {
    Q_OBJECT
public:
    explicit CDesktopNotices(QObject* parent = nullptr);
    void Open(const QString& key, const QString& text) override;
    void Close(const QString& key) override;

    std::function<void()> onOpenWindow;
    std::function<bool(const QString& title, const QString& text)> balloon;

private slots:
    void OnAction(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    bool ServerRuns();
    bool m_connected = false;
    QMap<QString, uint> m_ids;  // shown notices by key
    QSet<QString> m_pending;    // keys whose Notify has not answered yet
};
