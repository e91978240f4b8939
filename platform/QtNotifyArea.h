#pragma once
#include "platform/NotifyArea.h"

#include <QIcon>
#include <QObject>
#include <functional>

class QSystemTrayIcon;

// The desktop's notification area through QSystemTrayIcon. Mouse events come back as the
// first platform's messages (517 right button released, 515 double click).
class CQtNotifyArea final : public QObject, public INotifyArea {
    Q_OBJECT
public:
    explicit CQtNotifyArea(QObject* parent = nullptr);
    ~CQtNotifyArea() override;

    bool ShellNotifyIcon(NotifyOp op, const NotifyIconData& data) override;
    bool IsShown() const;

    // Called on the UI thread with (icon number, mouse message) for each notification.
    std::function<void(uint32_t, uint32_t)> onNotify;

private:
    bool Apply(NotifyOp op, const NotifyIconData& data);
    QSystemTrayIcon* m_icon = nullptr;
    uint32_t m_id = 0;
};

// The icon of resource `id` (tray states, window icon), drawn from our artwork.
QIcon LoadResIcon(int id);
