#include "core/resources/Resources.h"
#include "ui/Icons.h"

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
