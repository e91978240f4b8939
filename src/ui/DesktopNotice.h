#pragma once
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

// The desktop's notices of the agent's problems: one per problem, kept by its key. Opening a
// key that is shown replaces its notice; closing takes it off the desktop.
// What a notice offers to do about itself: a button's label and what it runs.
struct CNoticeFix {
    QString label;
    std::function<void()> run;
};

class INotices {
public:
    virtual ~INotices() = default;
    virtual void Open(const QString& key, const QString& text, const CNoticeFix& fix = {}) = 0;
    virtual void Close(const QString& key) = 0;
    // News of documents that came in: one notice, replaced by the next cycle's.
    virtual void Arrived(const QString& text) = 0;
};

// Freedesktop notifications on the session bus, titled with the program's name and carrying an
// action that opens the window. Where no notification server runs, the `balloon` fallback
// shows the text (the tray's own message) instead.
class CDesktopNotices final : public QObject, public INotices {
    Q_OBJECT
public:
    explicit CDesktopNotices(QObject* parent = nullptr);
    void Open(const QString& key, const QString& text, const CNoticeFix& fix = {}) override;
    void Close(const QString& key) override;
    void Arrived(const QString& text) override;

    std::function<void()> onOpenWindow;
    // An arrival notice's actions: the document (or the folder), and the list.
    std::function<void()> onOpenArrival;
    std::function<void()> onShowList;
    std::function<bool(const QString& title, const QString& text)> balloon;

private slots:
    void OnAction(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    bool ServerRuns();
    void Notify(const QString& key, const QString& text, const QStringList& actions,
                const QString& icon);
    bool m_connected = false;
    QMap<QString, uint> m_ids;  // shown notices by key
    QSet<QString> m_pending;    // keys whose Notify has not answered yet
    QMap<QString, std::function<void()>> m_fixes;  // by key
};
