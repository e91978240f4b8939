#pragma once
#include <QUrl>
#include <QWidget>

class QTextBrowser;

// The help page we ship, in the agent's own window: its links to its own sections are followed
// here; any other link (mail, web) goes to the desktop's program for it (g_openHelpUrl).
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(const QUrl& page);
    QTextBrowser* Browser() const { return m_browser; }

private:
    void Follow(const QUrl& link);
    QTextBrowser* m_browser;
};
