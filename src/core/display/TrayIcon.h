#pragma once
#include "platform/NotifyArea.h"

#include <mutex>
#include <string>

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
