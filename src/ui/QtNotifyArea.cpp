#include "ui/QtNotifyArea.h"

#include "ui/display/UiCallQueue.h"
#include "ui/Resources.h"
#include "ui/Icons.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#if ORBIDEX_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#endif
#if ORBIDEX_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <utility>

namespace {
// A worker's states are shown at most this often: one shown for less is overtaken before
// anybody could see it, and each drawing costs the desktop and the UI thread.
constexpr int kMinDrainGapMs = 100;
constexpr char kItemHost[] = "org.kde.StatusNotifierWatcher";

// Qt settles on StatusNotifierItem or XEmbed at its first look for a tray and keeps that for
// the life of the process. So it is not asked while there is no tray of either kind: a host
// that comes later (GNOME's extension switched on, a panel starting late) then still gets an
// item with its menu, not an XEmbed icon or, on Wayland, none at all.
bool g_qtHasLooked = false;
bool g_qtChoseItems = false;  // what Qt settled on at that look

#if ORBIDEX_HAVE_DBUS
bool SessionBusFound()
{
    // Asking for a bus that is not there would start Qt's bus thread and an X11 autolaunch.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
           (!runtime.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus")));
}
#endif

bool ItemHostOnBus()
{
#if ORBIDEX_HAVE_DBUS
    if (!SessionBusFound())
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QString::fromLatin1(kItemHost));
#else
    return false;
#endif
}

// An XEmbed tray is the owner of the screen's system-tray selection.
bool XEmbedTrayOnScreen()
{
#if ORBIDEX_HAVE_XCB
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    static const QByteArray name = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    bool owned = false;
    if (atom->atom != XCB_ATOM_NONE) {
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
        owned = owner && owner->owner != XCB_WINDOW_NONE;
        free(owner);
    }
    free(atom);
    return owned;
#else
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
#endif
}
}  // namespace

CQtNotifyArea::CQtNotifyArea(QObject* parent)
    : QObject(parent), m_drainLater(new QTimer(this)), m_wake(new CUiCallQueue(this))
{
    m_available = Probe();
    m_drainLater->setSingleShot(true);
    connect(m_drainLater, &QTimer::timeout, this, &CQtNotifyArea::Drain);
}

CQtNotifyArea::~CQtNotifyArea()
{
    m_wake->Close();
    delete m_icon;
}

bool CQtNotifyArea::Probe()
{
    if (availabilityProbe)
        return availabilityProbe();
    WatchForItemHost();
    if (!g_qtHasLooked) {
        const bool items = ItemHostOnBus();
        if (!items && !XEmbedTrayOnScreen())
            return false;
        g_qtHasLooked = true;
        g_qtChoseItems = items;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CQtNotifyArea::WatchForItemHost()
{
#if ORBIDEX_HAVE_DBUS
    static bool watching = false;  // one watcher per process: the agent has one tray icon
    if (watching || !SessionBusFound())
        return;
    watching = true;
    auto* watcher = new QDBusServiceWatcher(QString::fromLatin1(kItemHost),
                                            QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ItemHostChanged(!owner.isEmpty());
            });
#endif
}

void CQtNotifyArea::ItemHostChanged(bool present)
{
    // An item registers with the host present when it is made: for a host that started (or
    // restarted) since, the icon is made anew, where Qt makes items at all.
    if (present && m_icon && g_qtChoseItems) {
        const bool shown = m_icon->isVisible();
        const QString tip = m_icon->toolTip();
        delete m_icon;
        m_icon = nullptr;
        MakeIcon();
        if (m_iconShown != 0)
            m_icon->setIcon(LoadResIcon(m_iconShown));
        m_icon->setToolTip(tip);
        if (shown)
            m_icon->show();
    }
    if (onAreaChanged)
        onAreaChanged();
}

bool CQtNotifyArea::IsAvailable()
{
    m_probed = true;
    m_available = Probe();
    return m_available;
}

bool CQtNotifyArea::ShowTrayState(NotifyOp op, const CTrayState& state)
{
    if (QThread::currentThread() == thread()) {
        Drain();
        return Apply(op, state);
    }
    // Another thread never waits for the UI thread here: it holds the tray lock, and the UI
    // thread may itself be waiting for that lock to set a state (a tick during a cycle). The
    // call is carried out later, in order; its answer is the one the UI thread would give now.
    bool ok;
    if (op == NIM_DELETE) {
        ok = m_shown.exchange(false);
    } else {
        ok = m_available && (op == NIM_ADD || m_shown);
        if (ok)
            m_shown = true;
    }
    bool wake;
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        wake = m_queue.empty();  // else a drain is on its way and takes this one too
        m_queue.push_back({op, state});
    }
    if (wake)
        m_wake->Post([this] { DrainSoon(); });
    return ok;
}

void CQtNotifyArea::DrainSoon()
{
    const qint64 since = m_lastDrain.isValid() ? m_lastDrain.elapsed() : kMinDrainGapMs;
    if (since >= kMinDrainGapMs)
        Drain();
    else if (!m_drainLater->isActive())
        m_drainLater->start(static_cast<int>(kMinDrainGapMs - since));
}

void CQtNotifyArea::Drain()
{
    std::deque<Pending> calls;
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        calls.swap(m_queue);
    }
    if (calls.empty())
        return;
    m_lastDrain.start();
    // A state overtaken before it was shown is skipped: of a run of adds and modifies only
    // the last one's record counts, shown by an add when the run held one.
    while (!calls.empty()) {
        Pending next = calls.front();
        calls.pop_front();
        while (next.op != NIM_DELETE && !calls.empty() && calls.front().op != NIM_DELETE) {
            const NotifyOp op = next.op == NIM_ADD ? NIM_ADD : calls.front().op;
            next = calls.front();
            next.op = op;
            calls.pop_front();
        }
        Apply(next.op, next.state);
    }
}

bool CQtNotifyArea::SendsSingleClicks()
{
    // StatusNotifierItem hosts (KDE Plasma, GNOME's AppIndicator extension) send one
    // activation for a left click and never a double click; Qt shows the icon there whenever
    // such a host's watcher is on the session bus. Without this the window could never be
    // opened by clicking the icon. On XEmbed trays a double click stays the way in.
    // An XEmbed icon made before a host came keeps sending plain clicks.
    if (singleClickProbe)
        return singleClickProbe();
    return g_qtChoseItems && ItemHostOnBus();
}

bool CQtNotifyArea::ShowBalloon(const QString& title, const QString& text)
{
    if (!m_icon || !m_icon->isVisible() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
    m_balloonOpen = true;
    return true;
}

void CQtNotifyArea::SetContextMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_icon)
        m_icon->setContextMenu(menu);
}

bool CQtNotifyArea::IsShown() const
{
    return m_icon && m_icon->isVisible();
}

void CQtNotifyArea::MakeIcon()
{
    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                uint32_t msg = 0;
                if (why == QSystemTrayIcon::Context)
                    msg = WM_RBUTTONUP;
                else if (why == QSystemTrayIcon::DoubleClick)
                    msg = WM_LBUTTONDBLCLK;
                else if (why == QSystemTrayIcon::Trigger && SendsSingleClicks())
                    msg = WM_LBUTTONDBLCLK;
                else
                    return;  // single clicks do nothing
                if (onNotify)
                    onNotify(m_id, msg);
            });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, [this] {
        // Qt's StatusNotifierItem icon reports an action of any notice on the bus as a click on
        // its own message (it ignores the notice's id): the agent's own notices carry their
        // actions, so only the icon's own message counts here.
        if (!std::exchange(m_balloonOpen, false))
            return;
        if (onNotify)
            onNotify(m_id, WM_LBUTTONDBLCLK);
    });
}

bool CQtNotifyArea::Apply(NotifyOp op, const CTrayState& data)
{
    if (op == NIM_DELETE) {
        m_shown = false;
        if (!m_icon || !m_icon->isVisible())
            return false;
        m_icon->hide();
        return true;
    }
    // Without a notification area the shell refuses, as it does while the desktop restarts.
    // Whether there is one is asked once here and then by the window's slow watch
    // (IsAvailable), never per change: asking costs a round trip to the display.
    if (!m_probed)
        IsAvailable();
    const QString tip = QString::fromStdString(data.tip);
    const bool ok = m_available && (op == NIM_ADD || (m_icon && m_icon->isVisible()));
    const int icon = data.icon != 0 ? data.icon : m_iconShown;
    if (ok && m_icon && m_icon->isVisible() && icon == m_iconShown && tip == m_icon->toolTip()) {
        // The state already shown: nothing to redraw.
    } else if (ok) {
        if (!m_icon)
            MakeIcon();
        m_id = data.id;
        if (data.icon != 0 && data.icon != m_iconShown) {
            m_icon->setIcon(LoadResIcon(data.icon));
            m_iconShown = data.icon;
            ++m_redraws;
        }
        if (tip != m_icon->toolTip()) {
            m_icon->setToolTip(tip);
            ++m_redraws;
        }
        if (op == NIM_ADD)
            m_icon->show();
    }
    m_shown = ok;
    if (onState)
        onState(data.icon, tip, ok);
    return ok;
}
