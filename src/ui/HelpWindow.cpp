#include "ui/HelpWindow.h"

#include "ui/Resources.h"
#include "ui/Icons.h"
#include "ui/MainFrameHelp.h"
#include "ui/dialogs/DialogSupport.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(const QUrl& page) : m_browser(new QTextBrowser(this))
{
    setWindowIcon(LoadResIcon(IDR_MAINFRAME));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenLinks(false);
    m_browser->setAccessibleName(QStringLiteral("Help"));
    connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpWindow::Follow);
    connect(m_browser, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle(m_browser->documentTitle()); });
    m_browser->setSource(page);
    new QShortcut(QKeySequence::Back, this, m_browser, &QTextBrowser::backward);
    new QShortcut(QKeySequence::Forward, this, m_browser, &QTextBrowser::forward);
    new QShortcut(Qt::Key_Escape, this, this, &QWidget::close);
    // A page of text, about 100 characters wide, within the screen at any scale.
    const QFontMetrics fm(m_browser->font());
    QSize size(fm.averageCharWidth() * 100, fm.height() * 40);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

void CHelpWindow::Follow(const QUrl& link)
{
    const QUrl target = m_browser->source().resolved(link);
    if (target.isLocalFile()) {
        m_browser->setSource(target);  // a section of the page: scrolls there, kept in history
        return;
    }
    if (!g_openHelpUrl(target))
        AgentMessageBox(QStringLiteral("No program could open %1.").arg(target.toString()),
                        QString::fromLatin1(kAppTitle), this);
}
