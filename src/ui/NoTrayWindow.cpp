#include "ui/NoTrayWindow.h"

#include <QGuiApplication>
#include <QWidget>

void KeepWithoutTray(QWidget& window)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        window.showMinimized();
        return;
    }
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
}
