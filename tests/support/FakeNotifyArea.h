#pragma once
#include "platform/NotifyArea.h"

#include <mutex>
#include <string>
#include <vector>

// Records every call to the notification area; can be told to refuse.
class CFakeNotifyArea final : public INotifyArea {
public:
    struct Call {
        NotifyOp op;
        CTrayState state;
    };
    bool ShowTrayState(NotifyOp op, const CTrayState& state) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_calls.push_back({op, state});
        if (op == NIM_ADD && m_refuseAdds > 0) {
            --m_refuseAdds;
            return false;
        }
        if (op == NIM_MODIFY && m_refuseModifies > 0) {
            --m_refuseModifies;
            return false;
        }
        return true;
    }
    std::vector<Call> Calls() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_calls;
    }
    // Icon numbers shown in order (adds and modifies), for checking state sequences.
    std::vector<int> States() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        std::vector<int> out;
        for (const auto& c : m_calls)
            if (c.op != NIM_DELETE)
                out.push_back(c.state.icon);
        return out;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_calls.clear();
    }
    int m_refuseAdds = 0;
    int m_refuseModifies = 0;

private:
    mutable std::mutex m_lock;
    std::vector<Call> m_calls;
};
