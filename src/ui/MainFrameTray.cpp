#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "ui/Icons.h"
#include "ui/NoTrayWindow.h"
#include "ui/QtNotifyArea.h"

#include <QAction>
#include <QTimer>

// Desktops without a notification area (GNOME without its extension, a bare X server): the
// window is then the agent's only way in. It stays minimised (open on Wayland) instead of hidden
// and carries the tray state in its title and icon; a notification area that turns up later takes
// over. A StatusNotifierItem host is heard of from the session bus at once; XEmbed trays give
// Qt no signal for coming or going, so they are polled: often for a minute after a
// start without one (a session's panel may come up after the agent) and after a change (a panel
// restarting), seldom otherwise, for every look wakes an agent otherwise idle for minutes.

namespace {
constexpr int kTrayWatchQuickMs = 3000;
constexpr int kTrayWatchQuickLooks = 20;  // a minute
constexpr int kTrayWatchSlowMs = 60000;
}  // namespace

void CMainFrame::WireTrayArea()
{
    m_trayArea = m_services.notifyArea ? m_services.notifyArea : m_ownArea.get();
    m_trayMenu = BuildTrayMenu();
    if (auto* area = dynamic_cast<CQtNotifyArea*>(m_trayArea)) {
        area->SetContextMenu(m_trayMenu);
        area->onNotify = [this](uint32_t id, uint32_t msg) { OnTrayMessage(id, msg); };
        area->onState = [this](int icon, const QString& tip, bool shown) {
            MirrorTrayState(icon, tip, shown);
        };
        area->onAreaChanged = [this] {
            if (m_trayWatch)
                TrayAreaChanged();
        };
    }
}

void CMainFrame::UnwireTrayArea()
{
    if (m_trayWatch)
        m_trayWatch->stop();
    if (auto* area = dynamic_cast<CQtNotifyArea*>(m_trayArea)) {
        area->onNotify = nullptr;
        area->onState = nullptr;
        area->onAreaChanged = nullptr;
        area->SetContextMenu(nullptr);
    }
}

bool CMainFrame::TrayAvailable()
{
    return m_trayArea->IsAvailable();
}

void CMainFrame::ShowNoTrayCommands(bool trayAvailable)
{
    for (QAction* a : m_noTrayActions) a->setVisible(!trayAvailable);
}

void CMainFrame::StartTrayWatch()
{
    m_bTrayAvailable = TrayAvailable();
    ShowNoTrayCommands(m_bTrayAvailable);
    if (m_trayWatch)
        return;
    m_trayWatch = new QTimer(this);
    m_trayWatch->setObjectName(QStringLiteral("trayWatch"));
    connect(m_trayWatch, &QTimer::timeout, this, &CMainFrame::TrayAreaChanged);
    m_nTrayLooks = 0;
    m_trayWatch->start(m_bTrayAvailable ? kTrayWatchSlowMs : kTrayWatchQuickMs);
}

void CMainFrame::TrayAreaChanged()
{
    const bool available = TrayAvailable();
    if (m_bQuitting)
        return;
    if (available == m_bTrayAvailable) {
        if (++m_nTrayLooks == kTrayWatchQuickLooks)
            m_trayWatch->setInterval(kTrayWatchSlowMs);
        return;
    }
    m_nTrayLooks = 0;
    m_trayWatch->setInterval(kTrayWatchQuickMs);
    m_bTrayAvailable = available;
    ShowNoTrayCommands(available);
    if (available) {
        // The icon appears now, not at the next state change. A window the user has opened
        // through the agent stays open; the one kept for want of a tray goes back to it.
        ShowState();
        if (!isVisible() || isMinimized() || m_bKeptForTray)
            hide();
        m_bKeptForTray = false;
    } else {
        // The tray went away (its host ended): whatever state was last shown, the window now
        // carries it, and it must not stay hidden.
        MirrorTrayState(m_nTrayState != 0 ? m_nTrayState : IDI_TRAY_IDLE, m_strTrayTip, false);
        if (!isVisible())
            KeepForWantOfTray();
    }
}

void CMainFrame::KeepForWantOfTray()
{
    // Remembered rather than read from the window: on Wayland it stays open instead of
    // minimised, and a window manager may show it restored for a while (GNOME's overview).
    // Only the author's own opening (OnOpenWindow) keeps it out of a tray that comes later.
    m_bKeptForTray = true;
    KeepWithoutTray(*this);
}

void CMainFrame::MirrorTrayState(int icon, const QString& tip, bool shown)
{
    const bool same = icon == m_nTrayState && tip == m_strTrayTip;
    m_nTrayState = icon;
    m_strTrayTip = tip;
    const QString title = QString::fromLatin1(kAppTitle);
    if (shown) {
        if (m_bTrayMirrored) {
            m_bTrayMirrored = false;
            MirrorTitle(title);
        }
        return;
    }
    if (m_bTrayMirrored && same)
        return;  // a cycle sets the same state many times over
    m_bTrayMirrored = true;
    // The idle tooltip tells of a right click that a window title cannot take: idle is the
    // plain title, with the idle icon.
    MirrorTitle(icon == IDI_TRAY_IDLE || tip.isEmpty() ? title : title + " - " + tip);
}

void CMainFrame::ShowWindowIcon(int icon)
{
    // A new window icon goes to the window system at several sizes, and every widget of the
    // window hears of it: only when it changes, not with each tip.
    if (icon != m_nTitleIcon) {
        m_nTitleIcon = icon;
        setWindowIcon(LoadResIcon(icon));
    }
}

void CMainFrame::MirrorTitle(const QString& title)
{
    setWindowTitle(title);
    // Qt 6.4 on Wayland draws the title bar itself and redraws it only with the window's next
    // frame: without one, the bar would go on saying "Connected" while idle. Elsewhere the
    // window manager draws it, and repainting the whole window at each change of state cost
    // more than the transfers.
    if (DrawsOwnTitleBar())
        update();
}
