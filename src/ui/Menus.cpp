#include "ui/Menus.h"

#include <QMenu>
#include <QMenuBar>

namespace {

enum MenuKind : unsigned { kWindow = 1, kTray = 2 };

struct CMenuCommand {
    int id;
    const char* text;
    const char* trayText;  // where the tray's text differs
    unsigned menus;        // MenuKind bits
    bool helpGroup;        // the window's "&Help" popup; in the tray, after a separator
};

// In menu order.
constexpr CMenuCommand kCommands[] = {
    {ID_OPEN_WINDOW, "&Open", nullptr, kTray, false},
    {ID_CONFIGURATION, "&Configuration", nullptr, kWindow | kTray, false},
    {ID_TRANSFER_NOW, "Transfer Now!!!", nullptr, kWindow | kTray, false},
    {ID_HELP_FINDER, "F1 &Help", nullptr, kWindow | kTray, true},
    {ID_APP_ABOUT, "&About Orbidex..", "&About Orbidex...", kWindow | kTray, true},
    {ID_EXIT, "&Exit", nullptr, kTray, true},
};

// Adds the commands of menu `kind` to `target`; `openHelpGroup` is asked once, at the first
// command of the help group, where that group goes.
void AddCommands(MenuKind kind, QWidget& target, const MakeCommandAction& make,
                 const std::function<QWidget*()>& openHelpGroup)
{
    QWidget* helpGroup = nullptr;
    for (const CMenuCommand& c : kCommands) {
        if (!(c.menus & kind))
            continue;
        QWidget* into = &target;
        if (c.helpGroup) {
            if (!helpGroup)
                helpGroup = openHelpGroup();
            into = helpGroup;
        }
        const char* text = kind == kTray && c.trayText ? c.trayText : c.text;
        QAction* action = make(QString::fromLatin1(text), c.id);
        into->addAction(action);
        if (kind == kTray && c.id == kTrayDefaultCommand)
            if (auto* menu = qobject_cast<QMenu*>(&target))
                menu->setDefaultAction(action);
    }
}

}  // namespace

void FillWindowMenu(QMenuBar& bar, const MakeCommandAction& make)
{
    AddCommands(kWindow, bar, make, [&bar] { return bar.addMenu(QStringLiteral("&Help")); });
}

QMenu* MakeTrayMenu(QWidget* parent, const MakeCommandAction& make)
{
    auto* menu = new QMenu(QStringLiteral("&Tray"), parent);
    AddCommands(kTray, *menu, make, [menu] {
        menu->addSeparator();
        return menu;
    });
    return menu;
}
