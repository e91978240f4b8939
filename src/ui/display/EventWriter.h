#pragma once
#include "core/state/AgentEvent.h"

#include <string>

class CAgentState;
class IDisplay;

// Shows what RenderEvent makes of each event on a display, in order, then tells the state.
class CEventWriter final : public IAgentEvents {
public:
    // `state` may be null (a pass run on its own, in tests).
    CEventWriter(IDisplay& display, CAgentState* state, std::string supportEmail)
        : m_display(display), m_state(state), m_support(std::move(supportEmail))
    {
    }
    void Report(const CAgentEvent& event) override;

private:
    IDisplay& m_display;
    CAgentState* m_state;
    std::string m_support;
};
