#include "ui/HelpWindow.h"

#include "ui/Resources.h"
#include "ui/Icons.h"
#include "ui/MainFrameHelp.h"
#include "ui/dialogs/DialogSupport.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QTextDocumentFragment>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
// The page as a screen reader's document: Qt offers a read-only browser as a label, which
// readers announce whole instead of letting the author move through it. Offsets are the
// document's character positions.
class CHelpPageAccess final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CHelpPageAccess(QTextBrowser* page)
        : QAccessibleWidget(page, QAccessible::Document), m_page(page)
    {
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                               : QAccessibleWidget::interface_cast(t);
    }
    // The text is the content: the viewport and scroll bars behind it are no parts of it.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    void selection(int index, int* start, int* end) const override
    {
        const QTextCursor c = m_page->textCursor();
        *start = *end = 0;
        if (index == 0 && c.hasSelection()) {
            *start = c.selectionStart();
            *end = c.selectionEnd();
        }
    }
    int selectionCount() const override { return m_page->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override
    {
        QTextCursor c = m_page->textCursor();
        c.clearSelection();
        m_page->setTextCursor(c);
    }
    void setSelection(int, int start, int end) override
    {
        QTextCursor c = Cursor(start);
        c.setPosition(Clamp(end), QTextCursor::KeepAnchor);
        m_page->setTextCursor(c);
    }
    int cursorPosition() const override { return m_page->textCursor().position(); }
    void setCursorPosition(int position) override { m_page->setTextCursor(Cursor(position)); }
    QString text(int start, int end) const override
    {
        QTextCursor c = Cursor(start);
        c.setPosition(Clamp(end), QTextCursor::KeepAnchor);
        return c.selection().toPlainText();
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return m_page->toPlainText();
        return QAccessibleWidget::text(t);
    }
    int characterCount() const override { return m_page->document()->characterCount() - 1; }
    QRect characterRect(int offset) const override
    {
        const QRect r = m_page->cursorRect(Cursor(offset));
        return QRect(m_page->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = m_page->viewport()->mapFromGlobal(point);
        return m_page->cursorForPosition(local).position();
    }
    void scrollToSubstring(int start, int) override
    {
        m_page->setTextCursor(Cursor(start));
        m_page->ensureCursorVisible();
    }
    QString attributes(int offset, int* start, int* end) const override
    {
        *start = *end = Clamp(offset);
        return {};
    }

private:
    int Clamp(int offset) const { return std::clamp(offset, 0, characterCount()); }
    QTextCursor Cursor(int offset) const
    {
        QTextCursor c(m_page->document());
        c.setPosition(Clamp(offset));
        return c;
    }
    QTextBrowser* m_page;
};

class CHelpPage final : public QTextBrowser {
    Q_OBJECT
public:
    using QTextBrowser::QTextBrowser;
};

QAccessibleInterface* HelpPageAccess(const QString& className, QObject* object)
{
    if (className == QLatin1String("CHelpPage"))
        return new CHelpPageAccess(static_cast<QTextBrowser*>(object));
    if (className == QLatin1String("CHelpWindow"))  // a window, not a plain panel ("filler")
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}
}  // namespace

CHelpWindow::CHelpWindow(const QUrl& page)
{
    static const bool installed = (QAccessible::installFactory(HelpPageAccess), true);
    (void)installed;
    m_browser = new CHelpPage(this);
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

#include "HelpWindow.moc"
