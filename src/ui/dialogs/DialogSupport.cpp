#include "ui/dialogs/DialogSupport.h"

#include <QDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QWidget>

std::function<void(const QString&, const QString&)> configMessageBoxHook;

namespace {
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

void ConfigMessageBox(QWidget* parent, const QString& text, const QString& caption)
{
    if (configMessageBoxHook) {
        configMessageBoxHook(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

int RunDialogModal(QDialog& dlg, const std::function<void(QDialog&)>& hook)
{
    if (!hook)
        return dlg.exec() == IDOK ? IDOK : IDCANCEL;
    dlg.setResult(0);
    dlg.show();
    hook(dlg);
    if (dlg.isVisible())
        dlg.reject();  // left open: closed as the close box would
    return dlg.result() == IDOK ? IDOK : IDCANCEL;
}
