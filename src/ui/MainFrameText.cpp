#include "ui/MainFrame.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <utility>

// The text area and the status pane. The window is hidden nearly all the time, and laying out
// text nobody sees would cost a transfer its time: while hidden or minimised they only gather
// what comes, and showing the window puts it all in at once.

bool CMainFrame::TextOnScreen() const
{
    return m_wndText && isVisible() && !isMinimized();
}

void CMainFrame::SetStatusBarText(const QString& text)
{
    if (!m_wndStatusBar)
        return;
    if (TextOnScreen()) {
        m_gatheredStatus.reset();
        m_wndStatusBar->setText(text);
    } else {
        m_gatheredStatus = text;
    }
}

void CMainFrame::InsertWindowText(const QString& text)
{
    if (!m_wndText)
        return;
    if (!TextOnScreen()) {
        m_gatheredText += text;
        return;
    }
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // New lines always go at the end, wherever the user clicked or what they selected: the
    // widget's own cursor and selection are left alone. The view follows only a reader who
    // was already at the end.
    QScrollBar* bar = m_wndText->verticalScrollBar();
    const bool follow = bar->value() == bar->maximum();
    QTextCursor end(m_wndText->document());
    end.movePosition(QTextCursor::End);
    end.insertText(t);
    if (follow)
        bar->setValue(bar->maximum());
}

void CMainFrame::ShowGatheredText()
{
    if (!TextOnScreen())
        return;
    if (m_gatheredStatus)
        m_wndStatusBar->setText(*std::exchange(m_gatheredStatus, std::nullopt));
    if (!m_gatheredText.isEmpty())
        InsertWindowText(std::exchange(m_gatheredText, QString()));
    // Then what the worker has posted since, in its order after the gathered lines.
    m_display->CatchUp();
}

void CMainFrame::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        ShowGatheredText();
}

// What the window shows once it has caught up with the worker.
QString CMainFrame::StatusText() const
{
    m_display->CatchUp();
    if (m_gatheredStatus)
        return *m_gatheredStatus;
    return m_wndStatusBar ? m_wndStatusBar->text() : QString();
}

QString CMainFrame::WindowText() const
{
    m_display->CatchUp();
    if (!m_wndText)
        return QString();
    QString gathered = m_gatheredText;
    gathered.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return m_wndText->toPlainText() + gathered;
}
