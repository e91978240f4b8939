#pragma once

class IAgentEvents;

// After FetchUrl found no internet at all: the author is told in a box, then in the window and
// the log, and the state counts the service as not answering.
void ReportNoInternet(IAgentEvents& events);
