#include "ui/dialogs/DialogSupport.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

std::function<void(QDialog&)> g_modalDialogHook;
std::function<void(const QString&, const QString&)> g_messageBoxHook;

namespace {
constexpr const char* kWholeSize = "wholeSize";  // of a scrolling page and its footer

// The average width the dialog-unit definition is built on: the 52 letters, rounded.
int AverageWidth(const QFontMetrics& fm)
{
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int total = fm.horizontalAdvance(letters);
    return std::max(1, (total / 26 + 1) / 2);
}
}  // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    m_cx = AverageWidth(fm);
    m_cy = std::max(1, fm.height());
}

int CDialogUnits::X(int du) const
{
    return (du * m_cx + 2) / 4;
}

int CDialogUnits::Y(int du) const
{
    return (du * m_cy + 4) / 8;
}

void PlaceDu(const CDialogUnits& du, QWidget* w, int x, int y, int width, int height)
{
    w->setGeometry(du.Rect(x, y, width, height));
}

void PlaceText(const CDialogUnits& du, QWidget* w, int x, int y, int width, int height)
{
    w->setGeometry(du.X(x), du.Y(y), std::max(du.X(width), w->sizeHint().width()), du.Y(height));
}

void MakeScrollingPage(QDialog& dlg, QWidget* page, QWidget* footer)
{
    auto* scroll = new QScrollArea(&dlg);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes from the last button to the first box
    scroll->setWidget(page);
    auto* layout = new QVBoxLayout(&dlg);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll, 1);
    layout->addWidget(footer);
    const QSize whole(page->width(), page->height() + footer->height());
    dlg.setProperty(kWholeSize, whole);
    dlg.setMaximumSize(whole);
    // Tab brings the control it reaches into view; a mnemonic or a refused box given the focus
    // must too.
    QObject::connect(qApp, &QApplication::focusChanged, scroll, [scroll](QWidget*, QWidget* now) {
        if (now && scroll->widget()->isAncestorOf(now))
            scroll->ensureWidgetVisible(now);
    });
}

void PlaceFooterButtons(const CDialogUnits& du, QWidget* footer, int width,
                        const std::initializer_list<std::pair<QWidget*, QRect>>& buttons)
{
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(0, du.Y(buttons.begin()->second.y()), 0, 0);
    row->setSpacing(0);
    int x = 0;
    for (const auto& [button, r] : buttons) {
        row->addStretch(r.x() - x);  // the gaps shrink in proportion when the dialog is narrower
        button->setFixedSize(du.X(r.width()), du.Y(r.height()));
        row->addWidget(button, 0, Qt::AlignTop);
        x = r.x() + r.width();
    }
    row->addStretch(width - x);
}

void PlaceWithinScreen(QWidget& window, const QSize& wanted)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(wanted);
        return;
    }
    // The frame is not known before the window first shows: room is left for one.
    const int frame = window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect area = screen->availableGeometry();
    const QSize outer(2 * frame, title + 2 * frame);
    const QSize size = wanted.boundedTo(area.size() - outer);
    window.resize(size);
    window.move(area.x() + (area.width() - size.width() - outer.width()) / 2,
                area.y() + (area.height() - size.height() - outer.height()) / 2);
}

void FitToScreen(QDialog& dlg)
{
    QSize size = dlg.property(kWholeSize).toSize();
    if (!size.isValid())
        return;
    QScreen* screen = dlg.parentWidget() ? dlg.parentWidget()->screen()
                                         : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // The window manager's frame is not known before the window first shows: room is left
    // for a title bar and borders.
    const int frame = dlg.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title = dlg.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QSize room =
        screen->availableGeometry().size() - QSize(2 * frame, title + 2 * frame);
    // A scroll bar needed one way takes room the other way.
    const int bar = dlg.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (size.height() > room.height())
        size.rwidth() += bar;
    if (size.width() > room.width())
        size.rheight() += bar;
    dlg.setMaximumSize(size);
    dlg.resize(size.boundedTo(room));
}

void AgentMessageBox(const QString& text, const QString& caption, QWidget* parent,
                     EBoxModality modality)
{
    // A copy: the hook may set the next answer while it runs.
    if (const auto hook = g_messageBoxHook) {
        hook(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    if (modality == EBoxModality::Modal) {
        box.exec();
        return;
    }
    box.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
}

QMessageBox* ShowAgentMessageBox(const QString& text, const QString& caption)
{
    if (const auto hook = g_messageBoxHook) {
        hook(text, caption);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

int RunDialogModal(QDialog& dlg)
{
    const auto hook = g_modalDialogHook;  // a copy, as above
    if (!hook)
        return dlg.exec() == IDOK ? IDOK : IDCANCEL;
    dlg.setResult(0);
    dlg.show();
    hook(dlg);
    if (dlg.isVisible())
        dlg.reject();  // left open: closed as the close box would
    return dlg.result() == IDOK ? IDOK : IDCANCEL;
}
