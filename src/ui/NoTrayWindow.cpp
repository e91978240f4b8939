#include "ui/NoTrayWindow.h"

#include <QGuiApplication>
#include <QWidget>

bool DrawsOwnTitleBar()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void KeepWithoutTray(QWidget& window)
{
    if (!DrawsOwnTitleBar()) {
        window.showMinimized();
        return;
    }
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
}
