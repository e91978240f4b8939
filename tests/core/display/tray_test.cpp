#include "ui/display/TrayIcon.h"
#include "ui/Resources.h"
#include "support/FakeNotifyArea.h"
#include "support/RecordingDisplay.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

namespace {
class FakeOwner : public ITrayOwner {
public:
    bool TrackTrayMenu(uint32_t id) override
    {
        menus.push_back(id);
        return menuLoads;
    }
    bool SendDefaultCommand(uint32_t id) override
    {
        defaults.push_back(id);
        return menuLoads;
    }
    std::vector<uint32_t> menus, defaults;
    bool menuLoads = true;
};
}  // namespace

TEST(TrayIcon, AddsOnceThenModifiesThenDeletes)
{
    CFakeNotifyArea area;
    FakeOwner owner;
    {
        CTrayIcon tray(area, IDR_TRAYMENU);
        EXPECT_EQ(tray.Record().cbSize, 88u);
        EXPECT_STREQ(tray.Record().szTip, "");  // number 3 has no string
        EXPECT_TRUE(tray.SetTrayResource(0));   // nothing shown: no shell call
        EXPECT_TRUE(area.Calls().empty());

        tray.SetNotifyTarget(&owner, WM_USER);
        EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
        EXPECT_EQ(tray.Record().uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
        EXPECT_EQ(tray.Record().uCallbackMessage, WM_USER);
        EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_BUSY));
        EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_BUSY));
    }  // destruction removes the icon
    const auto calls = area.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, NIM_ADD);
    EXPECT_EQ(calls[0].state.icon, IDI_TRAY_IDLE);
    EXPECT_EQ(calls[0].state.id, static_cast<uint32_t>(IDR_TRAYMENU));
    EXPECT_EQ(calls[0].state.tip, "Nimbrel Ravlet. Right click for menu.");
    EXPECT_EQ(calls[1].op, NIM_MODIFY);
    EXPECT_EQ(calls[1].state.tip, "Orbidex - Connected. Pease Wait...");
    EXPECT_EQ(calls[2].op, NIM_MODIFY);  // same state again: a modify with the same data
    EXPECT_EQ(calls[1].state.tip, calls[2].state.tip);
    EXPECT_EQ(calls[3].op, NIM_DELETE);
}

TEST(TrayIcon, RefusedAddIsRetriedAsAddByTheNextState)
{
    CFakeNotifyArea area;
    CTrayIcon tray(area, IDR_TRAYMENU);
    area.m_refuseAdds = 1;
    EXPECT_FALSE(tray.SetTrayResource(IDI_TRAY_IDLE));
    EXPECT_EQ(tray.Record().hIcon, 0);
    // Without an owner, no message flag.
    EXPECT_EQ(tray.Record().uFlags, NIF_ICON | NIF_TIP);
    EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_BUSY));
    area.m_refuseModifies = 1;
    EXPECT_FALSE(tray.SetTrayResource(IDI_TRAY_IDLE));
    EXPECT_TRUE(tray.SetTrayResource(IDI_TRAY_IDLE));
    std::vector<int> ops;
    for (const auto& c : area.Calls()) ops.push_back(c.op);
    EXPECT_EQ(ops, (std::vector<int>{NIM_ADD, NIM_ADD, NIM_MODIFY, NIM_ADD}));
}

TEST(TrayIcon, TooltipIsCutAt63)
{
    CFakeNotifyArea area;
    CTrayIcon tray(area, IDR_TRAYMENU);
    const std::string tip(100, 't');
    tray.UpdateTrayIcon(IDI_TRAY_IDLE, tip.c_str());
    EXPECT_EQ(area.Calls().back().state.tip.size(), 63u);
}

TEST(TrayIcon, OnlyRightReleaseAndDoubleClickAct)
{
    CFakeNotifyArea area;
    FakeOwner owner;
    CTrayIcon tray(area, IDR_TRAYMENU);
    tray.SetNotifyTarget(&owner, WM_USER);
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, 514), 0);  // left button released
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, 516), 0);  // right button pressed
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, 512), 0);  // mouse move
    EXPECT_EQ(tray.HandleTrayEvent(7, WM_RBUTTONUP), 0);    // another icon
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, WM_RBUTTONUP), 1);
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(owner.menus, std::vector<uint32_t>{IDR_TRAYMENU});
    EXPECT_EQ(owner.defaults, std::vector<uint32_t>{IDR_TRAYMENU});
    owner.menuLoads = false;
    EXPECT_EQ(tray.HandleTrayEvent(IDR_TRAYMENU, WM_RBUTTONUP), 0);
}
