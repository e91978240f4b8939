#include "ui/Menus.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

namespace {

// kWindowNoTray: in the window's menu bar only while the desktop has no notification area,
// where the window is the only way to reach the command.
enum MenuKind : unsigned { kWindow = 1, kTray = 2, kWindowNoTray = 4 };

struct CMenuCommand {
    int id;
    const char* text;
    const char* trayText;  // where the tray's text differs
    unsigned menus;        // MenuKind bits
    bool helpGroup;        // the window's "&Help" popup; in the tray, after a separator
};

constexpr const char* kHelpText = "F1 &Help";

// In menu order.
constexpr CMenuCommand kCommands[] = {
    {ID_OPEN_WINDOW, "&Open", nullptr, kTray, false},
    {ID_CONFIGURATION, "&Configuration", nullptr, kWindow | kTray, false},
    {ID_TRANSFER_NOW, "Transfer Now!!!", nullptr, kWindow | kTray, false},
    {ID_PAUSE, "&Pause automatic sending", nullptr, kWindow | kTray, false},
    {ID_RECENT_ACTIVITY, "&Recent activity", nullptr, kWindow | kTray, false},
    {ID_OPEN_DOWNLOADS, "Open &download folder", nullptr, kTray, false},
    {ID_OPEN_LOG, "Open &log", nullptr, kTray, false},
    {ID_HELP_FINDER, kHelpText, nullptr, kWindow | kTray, true},
    {ID_APP_ABOUT, "&About Orbidex..", "&About Orbidex...", kWindow | kTray, true},
    {ID_EXIT, "&Exit", nullptr, kTray | kWindowNoTray, true},
};

// Adds the commands of menu `kind` to `target`; `openHelpGroup` is asked once, at the first
// command of the help group, where that group goes.
QList<QAction*> AddCommands(MenuKind kind, QWidget& target, const MakeCommandAction& make,
                            const std::function<QWidget*()>& openHelpGroup)
{
    QList<QAction*> noTray;
    QWidget* helpGroup = nullptr;
    for (const CMenuCommand& c : kCommands) {
        const bool onlyWithoutTray = kind == kWindow && (c.menus & kWindowNoTray);
        if (!(c.menus & kind) && !onlyWithoutTray)
            continue;
        QWidget* into = &target;
        if (c.helpGroup && !onlyWithoutTray) {
            if (!helpGroup)
                helpGroup = openHelpGroup();
            into = helpGroup;
        }
        const char* text = kind == kTray && c.trayText ? c.trayText : c.text;
        QAction* action = make(QString::fromLatin1(text), c.id);
        into->addAction(action);
        if (onlyWithoutTray)
            noTray.append(action);
        if (kind == kTray && c.id == kTrayDefaultCommand)
            if (auto* menu = qobject_cast<QMenu*>(&target))
                menu->setDefaultAction(action);
    }
    return noTray;
}

class CTrayMenuKeys : public QObject {
public:
    explicit CTrayMenuKeys(QMenu* menu) : QObject(menu), m_menu(menu) {}
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress ||
            !static_cast<QKeyEvent*>(e)->matches(QKeySequence::HelpContents))
            return QObject::eventFilter(watched, e);
        // F1, as the Help command's text promises. Not a shortcut of the action: the menu would
        // then show "F1" twice on that line.
        for (QAction* a : m_menu->actions())
            if (a->text() == QLatin1String(kHelpText)) {
                m_menu->close();
                a->trigger();
                return true;
            }
        return false;
    }

private:
    QMenu* m_menu;
};

}  // namespace

QList<QAction*> FillWindowMenu(QMenuBar& bar, const MakeCommandAction& make)
{
    return AddCommands(kWindow, bar, make, [&bar] { return bar.addMenu(QStringLiteral("&Help")); });
}

QMenu* MakeTrayMenu(QWidget* parent, const MakeCommandAction& make)
{
    auto* menu = new QMenu(QStringLiteral("&Tray"), parent);
    AddCommands(kTray, *menu, make, [menu] {
        menu->addSeparator();
        return menu;
    });
    // A shortcut of a popup's own action does not fire while the popup has the keyboard.
    menu->installEventFilter(new CTrayMenuKeys(menu));
    return menu;
}
