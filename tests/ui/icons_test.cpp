#include "core/display/TrayIcon.h"
#include "core/resources/Resources.h"
#include "ui/Icons.h"
#include "ui/QtNotifyArea.h"

#include <QCoreApplication>
#include <thread>

#include <gtest/gtest.h>

// The tray asks for an icon at every state change: each must come from the one built before,
// which keeps the pixmaps it has already rendered.
TEST(Icons, EachIsBuiltOnceAndSharedAfterwards)
{
    for (int id : {IDR_MAINFRAME, IDI_TRAY_IDLE, IDI_TRAY_BUSY}) {
        const QIcon first = LoadResIcon(id);
        ASSERT_FALSE(first.pixmap(32, 32).isNull()) << id;
        EXPECT_EQ(LoadResIcon(id).cacheKey(), first.cacheKey()) << id;
    }
    EXPECT_NE(LoadResIcon(IDI_TRAY_IDLE).cacheKey(), LoadResIcon(IDI_TRAY_BUSY).cacheKey());
}

// A change to the state already shown costs nothing, and of a worker's burst made while the UI
// thread is away only the last state is drawn.
TEST(Icons, TheTrayRedrawsOnlyForANewState)
{
    CQtNotifyArea area;
    area.availabilityProbe = [] { return true; };
    CTrayIcon tray(area, IDR_TRAYMENU);
    ASSERT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    const int first = area.RedrawCount();
    EXPECT_GT(first, 0);
    EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    EXPECT_EQ(area.RedrawCount(), first);

    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) tray.SetTrayResource(i % 2 ? IDI_TRAY_IDLE : IDI_TRAY_BUSY);
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.Record().hIcon, IDI_TRAY_IDLE);
    EXPECT_EQ(area.RedrawCount(), first);  // overtaken states were never drawn
    std::thread([&] { tray.SetTrayResource(IDI_TRAY_BUSY); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(area.RedrawCount(), first + 2);  // icon and tooltip
    EXPECT_TRUE(area.IsShown());
}
