#include "core/service/WebFailure.h"

#include "core/state/AgentEvent.h"

void ReportNoInternet(IAgentEvents& events)
{
    events.Report(ev::NoInternet{});
}
