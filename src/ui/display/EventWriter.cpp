#include "ui/display/EventWriter.h"

#include "ui/display/Display.h"
#include "core/state/AgentState.h"
#include "core/state/EventText.h"

void CEventWriter::Report(const CAgentEvent& event)
{
    if (event.Kind() == EEvent::CycleStarted)
        m_display.HoldLog(true);
    // Progress is the state's alone: it never makes a line.
    if (event.Kind() != EEvent::Progress) {
        for (const CRendered& out : RenderEvent(event, m_display.GetTimeText(), m_support)) {
            switch (out.sink) {
                case ESink::Window: m_display.AddWindowLine(out.text); break;
                case ESink::Status: m_display.SetStatusText(out.text); break;
                case ESink::Log: m_display.WriteLogLine(out.text); break;
                case ESink::Transfer: m_display.LogTransfer(out.text); break;
                case ESink::Box: m_display.MessageBox(out.text); break;
                case ESink::PostBox: m_display.PostMessageBox(out.text); break;
            }
        }
    }
    if (event.Kind() == EEvent::CycleEnded)
        m_display.HoldLog(false);
    if (m_state)
        m_state->Report(event);
}
