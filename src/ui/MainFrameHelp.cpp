#include "ui/MainFrameHelp.h"

#include "ui/MainFrame.h"
#include "ui/HelpWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#ifndef ORBIDEX_HELP_INSTALL_DIR
#define ORBIDEX_HELP_INSTALL_DIR "/usr/share/orbidex/help"
#endif

std::function<bool(const QUrl&)> g_openHelpUrl = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
};

QStringList HelpFileCandidates()
{
    const QString name = QString::fromLatin1(kHelpFileName);
    const QDir bin(QCoreApplication::applicationDirPath());
    return {
        bin.filePath(name),
        bin.filePath(QStringLiteral("help/") + name),
        QDir::cleanPath(bin.filePath(QStringLiteral("../share/orbidex/help/") + name)),
        QDir(QStringLiteral(ORBIDEX_HELP_INSTALL_DIR)).filePath(name),
    };
}

QString FindHelpFile()
{
    for (const QString& path : HelpFileCandidates())
        if (QFileInfo(path).isFile())
            return QFileInfo(path).absoluteFilePath();
    return {};
}

void CMainFrame::OnShowHelp()
{
    // The agent goes on whatever happens here; the user is told why no help appeared.
    const QString path = FindHelpFile();
    if (path.isEmpty()) {
        ShowMessageBox(QStringLiteral("Cannot open the help file %1.")
                           .arg(QString::fromLatin1(kHelpFileName)));
        return;
    }
    if (!m_helpWindow) {
        // Its own window, not the main one's child: the main window is hidden most of the time.
        auto* help = new CHelpWindow(QUrl::fromLocalFile(path));
        connect(this, &QObject::destroyed, help, [help] { delete help; });
        m_helpWindow = help;
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}
