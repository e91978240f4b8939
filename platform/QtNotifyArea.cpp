#include "platform/QtNotifyArea.h"

#include "res/Resources.h"

#include <QFile>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QThread>

QIcon LoadResIcon(int id)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(id);
    if (QFile::exists(path))
        return QIcon(path);
    // Plain fallback so the agent is never without an icon.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(id == IDI_TRAY_BUSY ? QColor(0xE0, 0x8A, 0x00) : QColor(0x2E, 0x8B, 0x57));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 28, 28);
    return QIcon(pm);
}

CQtNotifyArea::CQtNotifyArea(QObject* parent) : QObject(parent) {}

CQtNotifyArea::~CQtNotifyArea() { delete m_icon; }

bool CQtNotifyArea::ShellNotifyIcon(NotifyOp op, const NotifyIconData& data)
{
    if (QThread::currentThread() == thread())
        return Apply(op, data);
    bool ok = false;
    QMetaObject::invokeMethod(
        this, [&] { ok = Apply(op, data); }, Qt::BlockingQueuedConnection);
    return ok;
}

bool CQtNotifyArea::IsShown() const { return m_icon && m_icon->isVisible(); }

bool CQtNotifyArea::Apply(NotifyOp op, const NotifyIconData& data)
{
    if (op == NIM_DELETE) {
        if (!m_icon || !m_icon->isVisible())
            return false;
        m_icon->hide();
        return true;
    }
    // Without a notification area the shell refuses, as it does while the desktop restarts.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    if (op == NIM_MODIFY && (!m_icon || !m_icon->isVisible()))
        return false;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    uint32_t msg = 0;
                    if (why == QSystemTrayIcon::Context)
                        msg = WM_RBUTTONUP;
                    else if (why == QSystemTrayIcon::DoubleClick)
                        msg = WM_LBUTTONDBLCLK;
                    else
                        return;  // single clicks do nothing
                    if (onNotify)
                        onNotify(m_id, msg);
                });
    }
    m_id = data.uID;
    if (data.uFlags & NIF_ICON)
        m_icon->setIcon(LoadResIcon(data.hIcon));
    m_icon->setToolTip((data.uFlags & NIF_TIP) ? QString::fromUtf8(data.szTip) : QString());
    if (op == NIM_ADD)
        m_icon->show();
    return true;
}
