// The agent as installed, except that its message boxes and dialogs are printed instead of
// shown (a dialog is then cancelled), so a test can see them and have the process go on.
#include "app/MyApp.h"
#include "ui/dialogs/DialogSupport.h"

#include <QDialog>
#include <cstdio>

int main(int argc, char** argv)
{
    g_messageBoxHook = [](const QString& text, const QString& caption) {
        std::printf("box: %s | %s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
    };
    g_modalDialogHook = [](QDialog& d) {
        std::printf("dialog: %s\n", d.metaObject()->className());
        std::fflush(stdout);
    };
    return RunAgent(argc, argv);
}
