#include "core/service/WebFailure.h"

#include "core/state/EventWriter.h"

void ReportNoInternet(IDisplay& display, IAgentEvents* events)
{
    if (events)
        events->Report({EEvent::NoInternet});
    else
        CEventWriter(display, nullptr, {}).Report({EEvent::NoInternet});
}
