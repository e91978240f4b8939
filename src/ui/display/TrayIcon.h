#pragma once
#include "platform/NotifyArea.h"

#include <mutex>
#include <string>

// The icon's record, kept whole for the life of the icon: what the next change carries.
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

// The agent's one icon in the notification area. State changes come from the UI thread and the
// worker; they are serialised because the record is shared.
class CTrayIcon {
public:
    CTrayIcon(INotifyArea& area, uint32_t id);
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void SetNotifyTarget(ITrayOwner* owner, uint32_t message);
    // Shows icon and tooltip of resource `id`; 0 removes the icon.
    bool SetTrayResource(int id);
    bool UpdateTrayIcon(int icon, const char* tip);
    virtual int HandleTrayEvent(uint32_t id, uint32_t mouseMessage);

    NotifyIconData Record() const;

private:
    bool UpdateLocked(int icon, const char* tip);

    INotifyArea& m_area;
    mutable std::recursive_mutex m_lock;
    NotifyIconData m_nid;
};
