#include "ui/display/TrayIcon.h"

#include "ui/Resources.h"
#include "platform/Utf8.h"

#include <cstring>

namespace {
void CopyTip(char (&dst)[64], const std::string& text)
{
    std::string_view cut = CutUtf8(text, sizeof dst - 1);
    std::memcpy(dst, cut.data(), cut.size());
    dst[cut.size()] = '\0';
}
}  // namespace

CTrayIcon::CTrayIcon(INotifyArea& area, uint32_t id) : m_area(area)
{
    m_nid.cbSize = 88;
    m_nid.uID = id;
    CopyTip(m_nid.szTip, LoadResString(static_cast<int>(id)));
}

CTrayIcon::~CTrayIcon()
{
    SetTrayResource(0);
}

void CTrayIcon::SetNotifyTarget(ITrayOwner* owner, uint32_t message)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_nid.hWnd = owner;
    m_nid.uCallbackMessage = (message == 0 || message >= WM_USER) ? message : 0;
}

bool CTrayIcon::SetTrayResource(int id)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (id == 0)
        return UpdateLocked(0, nullptr);
    CopyTip(m_nid.szTip, LoadResString(id));
    return UpdateLocked(id, nullptr);
}

bool CTrayIcon::UpdateTrayIcon(int icon, const char* tip)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return UpdateLocked(icon, tip);
}

bool CTrayIcon::UpdateLocked(int icon, const char* tip)
{
    m_nid.uFlags = 0;
    NotifyOp op;
    if (icon != 0) {
        op = m_nid.hIcon ? NIM_MODIFY : NIM_ADD;
        m_nid.hIcon = icon;
        m_nid.uFlags |= NIF_ICON;
    } else {
        if (m_nid.hIcon == 0)
            return true;
        op = NIM_DELETE;
    }
    if (tip)
        CopyTip(m_nid.szTip, tip);
    if (m_nid.szTip[0] != '\0')
        m_nid.uFlags |= NIF_TIP;
    if (m_nid.uCallbackMessage != 0 && m_nid.hWnd != nullptr)
        m_nid.uFlags |= NIF_MESSAGE;
    CTrayState state{m_nid.uID, m_nid.hIcon, {}};
    if (m_nid.uFlags & NIF_TIP)
        state.tip = m_nid.szTip;
    const bool ok = m_area.ShowTrayState(op, state);
    // A refused add or modify is retried as an add by the next state change.
    if (op == NIM_DELETE || !ok)
        m_nid.hIcon = 0;
    return ok;
}

int CTrayIcon::HandleTrayEvent(uint32_t id, uint32_t mouseMessage)
{
    if (id != m_nid.uID || (mouseMessage != WM_RBUTTONUP && mouseMessage != WM_LBUTTONDBLCLK))
        return 0;
    ITrayOwner* owner = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        owner = m_nid.hWnd;
    }
    if (owner == nullptr)
        return 0;
    const bool handled = mouseMessage == WM_RBUTTONUP ? owner->TrackTrayMenu(m_nid.uID)
                                                      : owner->SendDefaultCommand(m_nid.uID);
    return handled ? 1 : 0;
}

NotifyIconData CTrayIcon::Record() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_nid;
}
