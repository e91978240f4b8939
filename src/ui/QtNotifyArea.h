#pragma once
#include "platform/NotifyArea.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class CUiCallQueue;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The desktop's notification area through QSystemTrayIcon. Mouse events come back as the
// first platform's messages (517 right button released, 515 double click).
class CQtNotifyArea final : public QObject, public INotifyArea {
    Q_OBJECT
public:
    explicit CQtNotifyArea(QObject* parent = nullptr);
    ~CQtNotifyArea() override;

    bool ShowTrayState(NotifyOp op, const CTrayState& state) override;
    // Asks the desktop afresh (UI thread); changes are carried out on the answer last given.
    bool IsAvailable() override;
    bool IsShown() const;
    // The tray's own message, where the desktop has no notification server (UI thread). False
    // when no icon is shown to carry it. Clicking it opens the window, as a double click does.
    bool ShowBalloon(const QString& title, const QString& text);
    // How often the icon or its tooltip was actually changed on the desktop.
    int RedrawCount() const { return m_redraws; }

    // Called on the UI thread with (icon number, mouse message) for each notification.
    std::function<void(uint32_t, uint32_t)> onNotify;
    // Called on the UI thread after each add or modify: the state asked for (icon number and
    // tooltip) and whether the desktop shows it. Lets the window carry the state when not.
    std::function<void(int, const QString&, bool)> onState;
    // Stands in for Qt's answer to "is there a notification area" (tests).
    std::function<bool()> availabilityProbe;
    // Stands in for "the tray sends single clicks, not double clicks" (tests).
    std::function<bool()> singleClickProbe;
    // True on StatusNotifierItem trays, where a left click is the way to open the window.
    bool SendsSingleClicks();
    // Called on the UI thread when a StatusNotifierItem host comes or goes: the caller asks
    // IsAvailable again at once instead of at its next look.
    std::function<void()> onAreaChanged;
    // The icon's menu (not owned). StatusNotifierItem trays show it themselves, sent over
    // DBusMenu; on XEmbed trays Qt opens it on a right click.
    void SetContextMenu(QMenu* menu);

private:
    struct Pending {
        NotifyOp op;
        CTrayState state;
    };
    bool Apply(NotifyOp op, const CTrayState& state);
    void Drain();
    void DrainSoon();
    bool Probe();
    void MakeIcon();
    void WatchForItemHost();
    void ItemHostChanged(bool present);

    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QMenu> m_menu;
    uint32_t m_id = 0;
    std::mutex m_queueLock;
    std::deque<Pending> m_queue;  // calls of other threads, carried out in order on the UI thread
    QElapsedTimer m_lastDrain;    // of calls of other threads (UI thread)
    QTimer* m_drainLater = nullptr;
    CUiCallQueue* m_wake = nullptr;  // not Qt's cross-thread events: see CUiCallQueue
    std::atomic<bool> m_available{false};
    std::atomic<bool> m_shown{false};  // as the callers will find it once the queue is carried out
    bool m_probed = false;             // UI thread
    int m_iconShown = 0;               // the icon set on m_icon (UI thread)
    int m_redraws = 0;
    bool m_balloonOpen = false;  // a message of the icon's own waits for its click
};
