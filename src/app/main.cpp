#include "app/MyApp.h"

#include <QApplication>
#include <curl/curl.h>

int main(int argc, char** argv)
{
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
