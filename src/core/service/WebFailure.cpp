#include "core/service/WebFailure.h"

#include "core/display/Display.h"
#include "platform/Format.h"

void ReportNoInternet(IDisplay& display)
{
    const std::string text =
        Format("%s - Internet not avaiable. Please contact your Systems Administrator.",
               display.GetTimeText().c_str());
    display.MessageBox(text);
    display.AddWindowLine(text);
    display.WriteLogLine(display.LineBuffer());
}
