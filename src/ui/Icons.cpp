#include "ui/Icons.h"

#include "ui/Resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <map>

namespace {

std::map<int, QIcon>& Cache()
{
    static std::map<int, QIcon> icons;
    return icons;
}

// Pixmaps must go while the application still exists, not with the program's statics.
void ClearCache()
{
    Cache().clear();
}

QIcon BuildIcon(int id)
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

}  // namespace

QIcon LoadResIcon(int id)
{
    std::map<int, QIcon>& icons = Cache();
    auto it = icons.find(id);
    if (it != icons.end())
        return it->second;
    if (icons.empty())
        qAddPostRoutine(ClearCache);  // once per filling: the routines run once
    return icons.emplace(id, BuildIcon(id)).first->second;
}
