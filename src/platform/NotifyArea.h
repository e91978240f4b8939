#pragma once
#include <cstdint>
#include <string>

class ITrayOwner;

// What the notification area is asked to show: a state's icon and tooltip, under the icon
// number that its mouse notifications carry back.
struct CTrayState {
    uint32_t id = 0;  // icon number; also the tray menu's number
    int icon = 0;     // icon resource of the state
    std::string tip;  // empty: no tooltip
};
enum NotifyOp : int { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

inline constexpr uint32_t WM_LBUTTONDBLCLK = 515;
inline constexpr uint32_t WM_RBUTTONUP = 517;
inline constexpr uint32_t WM_USER = 1024;

// The desktop's notification area; may refuse (no tray, shell restarting).
class INotifyArea {
public:
    virtual ~INotifyArea() = default;
    // Adds, changes or removes the agent's icon. False when the desktop refused.
    virtual bool ShowTrayState(NotifyOp op, const CTrayState& state) = 0;
    // Whether the desktop has a notification area at all (UI thread). Without one the window
    // must stay reachable.
    virtual bool IsAvailable() { return true; }
};

// The window side of the tray: the menu it pops up and the default command.
class ITrayOwner {
public:
    virtual ~ITrayOwner() = default;
    // Load menu `menuId`, make its first item the (bold) default, pop it up at the cursor.
    // False when the menu cannot be had.
    virtual bool TrackTrayMenu(uint32_t menuId) = 0;
    // Send the first item's command of menu `menuId` and wait until handled.
    virtual bool SendDefaultCommand(uint32_t menuId) = 0;
};
