#include "ui/dialogs/DialogSupport.h"

#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QMessageBox>
#include <QWidget>

std::function<void(QDialog&)> g_modalDialogHook;
std::function<void(const QString&, const QString&)> g_messageBoxHook;

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
