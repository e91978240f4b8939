#include "core/service/WebFailure.h"

#include "core/state/EventWriter.h"

void ReportNoInternet(IDisplay& display)
{
    CEventWriter(display, nullptr, {}).Report({EEvent::NoInternet});
}
