#pragma once
#include "core/state/AgentEvent.h"

#include <string>

class CAgentState;
class IDisplay;

// The one place where events become the window's lines, the log's lines and the status text,
// worded as the agent always has. Each line is rendered once and given to the window and the
// log alike; nothing is read back from the window's buffer. Then the state hears of it.
class CEventWriter final : public IAgentEvents {
public:
    // `state` may be null (a pass run on its own, in tests).
    CEventWriter(IDisplay& display, CAgentState* state, std::string supportEmail)
        : m_display(display), m_state(state), m_support(std::move(supportEmail))
    {
    }
    void Report(const CAgentEvent& event) override;

private:
    void Lines(const CAgentEvent& e);
    // A window line and the same line in the log.
    void Both(const std::string& line);
    // A line whose text ends in CR LF: the window adds its own, so the log keeps both.
    void BothWithBreak(const std::string& lineWithBreak);

    IDisplay& m_display;
    CAgentState* m_state;
    std::string m_support;
};
