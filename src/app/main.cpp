#include "app/CommandLine.h"
#include "app/MyApp.h"

#include <QApplication>
#include <curl/curl.h>

int main(int argc, char** argv)
{
    // Help, version, a bad option and the commands for a running agent need no display.
    const CCommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> rc = RunWithoutAgent(line, argc, argv))
        return *rc;
    curl_global_init(CURL_GLOBAL_DEFAULT);  // once, before any thread
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // the agent lives in the tray
    int rc = 0;
    {
        CMyApp theApp;
        app.setProperty("CMyApp", QVariant::fromValue<QObject*>(&theApp));
        if (theApp.InitInstance())
            rc = QApplication::exec();
    }
    curl_global_cleanup();
    return rc;
}
