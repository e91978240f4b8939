#pragma once
#include <cstdint>

class ITrayOwner;

// The notification-area record, passed whole on every call.
struct NotifyIconData {
    uint32_t cbSize = 88;
    ITrayOwner* hWnd = nullptr;  // receiver of the mouse notifications
    uint32_t uID = 0;            // icon number; also the tray menu's number
    uint32_t uFlags = 0;         // NIF_*
    uint32_t uCallbackMessage = 0;
    int hIcon = 0;  // icon resource shown; 0 = no icon in the area
    char szTip[64] = {};
};

inline constexpr uint32_t NIF_MESSAGE = 1;
inline constexpr uint32_t NIF_ICON = 2;
inline constexpr uint32_t NIF_TIP = 4;
enum NotifyOp : int { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

inline constexpr uint32_t WM_LBUTTONDBLCLK = 515;
inline constexpr uint32_t WM_RBUTTONUP = 517;
inline constexpr uint32_t WM_USER = 1024;

// The desktop's notification area; may refuse (no tray, shell restarting).
class INotifyArea {
public:
    virtual ~INotifyArea() = default;
    virtual bool ShellNotifyIcon(NotifyOp op, const NotifyIconData& data) = 0;
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
