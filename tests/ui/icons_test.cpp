#include "ui/display/TrayIcon.h"
#include "ui/Resources.h"
#include "ui/Icons.h"
#include "ui/QtNotifyArea.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
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

// A change to the state already shown redraws nothing; of a worker's burst made while the UI
// thread is away only the last state is drawn.
TEST(Icons, TheTrayRedrawsOnlyForANewState)
{
    CQtNotifyArea area;
    area.availabilityProbe = [] { return true; };
    CTrayIcon tray(area, IDR_TRAYMENU);
    ASSERT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    const int first = area.RedrawCount();
    EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    std::thread([&] {
        for (int i = 0; i < 1000; ++i) tray.SetTrayResource(i % 2 ? IDI_TRAY_BUSY : IDI_TRAY_IDLE);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(area.RedrawCount(), first + 2);  // one icon and one tooltip, for busy
    EXPECT_TRUE(area.IsShown());
}

// A worker that changes the state every few milliseconds gets it drawn a few times a second,
// the last state without delay beyond that.
TEST(Icons, AWorkersStatesAreDrawnAtMostTenTimesASecond)
{
    CQtNotifyArea area;
    area.availabilityProbe = [] { return true; };
    int lastShown = 0;
    area.onState = [&](int icon, const QString&, bool) { lastShown = icon; };
    CTrayIcon tray(area, IDR_TRAYMENU);
    ASSERT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    const int first = area.RedrawCount();
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        for (int i = 0; i < 60; ++i) {
            tray.SetTrayResource(i % 2 ? IDI_TRAY_IDLE : IDI_TRAY_BUSY);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents();
    worker.join();
    const qint64 spent = clock.elapsed();
    while (lastShown != IDI_TRAY_IDLE && clock.elapsed() < spent + 1000)
        QCoreApplication::processEvents();
    EXPECT_LT(clock.elapsed(), spent + 300);
    EXPECT_EQ(lastShown, IDI_TRAY_IDLE);
    // An icon and a tooltip per drawing, a drawing at the start and then one per 100 ms.
    EXPECT_LE(area.RedrawCount() - first, 2 * (spent / 100 + 2));
    EXPECT_GE(area.RedrawCount() - first, 2);
}
