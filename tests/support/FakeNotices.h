#pragma once
#include "ui/DesktopNotice.h"

#include <QMap>
#include <QStringList>

// Desktop notices kept in memory: what is shown now, and every text ever opened.
class CFakeNotices final : public INotices {
public:
    void Open(const QString& key, const QString& text, const CNoticeFix& fix = {}) override
    {
        shown[key] = text;
        opened << text;
        fixes[key] = fix;
    }
    void Arrived(const QString& text) override { arrived << text; }
    QMap<QString, CNoticeFix> fixes;
    QStringList arrived;
    void Close(const QString& key) override
    {
        if (shown.remove(key) > 0)
            ++closed;
    }
    QMap<QString, QString> shown;
    QStringList opened;
    int closed = 0;
};
