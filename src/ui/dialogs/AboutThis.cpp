#include "ui/dialogs/AboutThis.h"

#include "ui/Resources.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/VersionText.h"

#include <QCursor>
#include <QFile>
#include <QFontMetrics>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>
#include <utility>

namespace {

// Template 100, in dialog units.
constexpr QRect kDialog(34, 22, 347, 194);
constexpr QRect kOkButton(277, 140, 50, 15);
constexpr QRect kVersionBox(171, 139, 94, 14);

}  // namespace

CAboutThis::CAboutThis(QWidget* parent, const CVersionModule* module)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_module(module)
{
    setObjectName(QString::number(IDD_ABOUTBOX));
    setWindowTitle(QString());
    setModal(true);

    // The template's 8-point sans-serif font; the desktop substitutes its nearest match and
    // every position follows that font's metrics, as dialog units do.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    const QFontMetrics fm(font);
    const int alphabetWidth = fm.horizontalAdvance(
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    m_avgCharWidth = (alphabetWidth / 26 + 1) / 2;  // rounded mean over 52 letters
    m_charHeight = fm.height();

    const QRect area = MapDialogRect(0, 0, kDialog.width(), kDialog.height());
    setFixedSize(area.size());

    m_picture = new QLabel(this);
    m_picture->setGeometry(area);
    m_picture->setPixmap(RenderPicture(area.size()));

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setGeometry(
        MapDialogRect(kOkButton.x(), kOkButton.y(), kOkButton.width(), kOkButton.height()));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    m_version = new QLineEdit(this);
    m_version->setObjectName(QString::number(IDC_VERSION));
    m_version->setGeometry(
        MapDialogRect(kVersionBox.x(), kVersionBox.y(), kVersionBox.width(), kVersionBox.height()));
    m_version->setReadOnly(true);
    m_version->setFrame(true);
    m_version->setFocusPolicy(Qt::StrongFocus);
    // The picture carries the words; a screen reader needs them said.
    m_version->setAccessibleName(QStringLiteral("Version"));
    setAccessibleName(QStringLiteral("About Orbidex"));

    setTabOrder(m_ok, m_version);
}

CAboutThis::~CAboutThis() = default;

QRect CAboutThis::MapDialogRect(int x, int y, int width, int height) const
{
    const auto px = [this](int du) { return du * m_avgCharWidth / 4; };
    const auto py = [this](int du) { return du * m_charHeight / 8; };
    return QRect(px(x), py(y), px(width), py(height));
}

QPixmap CAboutThis::RenderPicture(QSize size) const
{
    // Rendered at the screen's pixel density, so the picture stays sharp at 200 %.
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(QColor(0x2E, 0x7D, 0x32));
    QSvgRenderer svg(QStringLiteral(":/pictures/%1.svg").arg(IDB_ABOUT));
    if (!svg.isValid())
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF whole(QPointF(0, 0), QSizeF(size));
    if (!svg.elementExists(QStringLiteral("background"))) {
        svg.render(&painter, whole);
        return pixmap;
    }
    // The dialog font decides the dialog's proportions, which rarely match the drawing's.
    // Background and field stretch with the dialog, so the field stays under the version box;
    // emblem and texts keep their shape and hold their place.
    enum class Fit { Stretch, Left, Centre, Right };
    static const std::pair<const char*, Fit> parts[] = {
        {"background", Fit::Stretch}, {"emblem", Fit::Centre}, {"name", Fit::Left},
        {"field", Fit::Stretch},      {"caption", Fit::Right}, {"legal", Fit::Left},
    };
    const QSizeF drawn = svg.viewBoxF().size();
    const qreal sx = size.width() / drawn.width();
    const qreal sy = size.height() / drawn.height();
    const qreal s = std::min(sx, sy);
    for (const auto& [name, fit] : parts) {
        const QString id = QString::fromLatin1(name);
        if (!svg.elementExists(id))
            continue;
        const QRectF b = svg.boundsOnElement(id);
        const QRectF mapped(b.x() * sx, b.y() * sy, b.width() * sx, b.height() * sy);
        QRectF target = mapped;
        if (fit != Fit::Stretch) {
            target.setSize(b.size() * s);
            target.moveCenter(mapped.center());
            if (fit == Fit::Left)
                target.moveLeft(mapped.left());
            else if (fit == Fit::Right)
                target.moveRight(mapped.right());
        }
        svg.render(&painter, id, target);
    }
    return pixmap;
}

QWidget* CAboutThis::GetDlgItem(int id) const
{
    switch (id) {
        case 1:
            return m_ok;
        case IDC_VERSION:
            return m_version;
        default:
            return nullptr;
    }
}

std::string CAboutThis::GetProductVersionText()
{
    if (m_strProductVersion.empty())
        m_strProductVersion = FormatVersionNumber(GetVersionInfoString(m_module, "ProductVersion"));
    return m_strProductVersion;
}

void CAboutThis::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate)
        m_strVersion = m_version->text().toStdString();
    else
        m_version->setText(QString::fromStdString(m_strVersion));
}

bool CAboutThis::OnInitDialog()
{
    m_strVersion = GetProductVersionText();
    DoDataExchange(false);
    CenterWindow();
    return true;
}

void CAboutThis::setVisible(bool visible)
{
    // Initialised just before the first showing, as a dialog's initialisation runs.
    if (visible && !m_bInitDone) {
        m_bInitDone = true;
        if (OnInitDialog())
            m_ok->setFocus(Qt::OtherFocusReason);  // first control that takes the focus
    }
    QDialog::setVisible(visible);
}

void CAboutThis::CenterWindow()
{
    // Over a visible owner; with none, or a hidden one (About from the tray), on the screen.
    // Made without a parent, the box still belongs to the window it was asked from, as the
    // framework takes the active main window as the owner of a parentless dialog.
    QWidget* owner = parentWidget() ? parentWidget()->window() : QApplication::activeWindow();
    if (owner == this)
        owner = nullptr;
    QRect target;
    if (owner && owner->isVisible() && !owner->isMinimized()) {
        target = owner->frameGeometry();
    } else {
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        target = screen->availableGeometry();
    }
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(target.center());
    move(frame.topLeft());
}

int CAboutThis::RunModal()
{
    return RunDialogModal(*this);
}
