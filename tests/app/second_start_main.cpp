// The agent as installed, except that its message boxes are printed instead of shown, so a
// test can see a second start's box and have the process end.
#include "app/MyApp.h"
#include "ui/dialogs/DialogSupport.h"

#include <cstdio>

int main(int argc, char** argv)
{
    g_messageBoxHook = [](const QString& text, const QString& caption) {
        std::printf("box: %s | %s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
    };
    return RunAgent(argc, argv);
}
