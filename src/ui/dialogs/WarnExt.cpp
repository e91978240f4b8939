#include "ui/dialogs/WarnExt.h"

#include "ui/Resources.h"
#include "core/service/ExtCheck.h"
#include "core/service/ServiceUrls.h"
#include "ui/dialogs/DialogSupport.h"

#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {
// Picture 141 from the artwork; a plain banner drawn here if a build comes without it.
QPixmap WarningPicture(const QSize& size)
{
    const QString path = QStringLiteral(":/pictures/%1.svg").arg(IDB_WARNING);
    if (QFile::exists(path)) {
        QPixmap pm = QIcon(path).pixmap(size);
        if (!pm.isNull())
            return pm;
    }
    QPixmap pm(size);
    QPainter p(&pm);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(0x1F, 0x4E, 0x79));
    g.setColorAt(1, QColor(0x2E, 0x8B, 0x57));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, QString::fromLatin1(kAppTitle));
    return pm;
}
}  // namespace

WarnExt::WarnExt(IInternet* internet, const CEndpoints& endpoints, QWidget* parent)
    : QDialog(parent), m_internet(internet), m_endpoints(endpoints)
{
    setWindowTitle(QStringLiteral("Warning"));
    BuildLayout();
}

void WarnExt::BuildLayout()
{
    const CDialogUnits du(font());
    auto* picture = new QLabel(this);
    PlaceDu(du, picture, 7, 6, 213, 92);
    picture->setPixmap(WarningPicture(picture->size()));
    picture->setAlignment(Qt::AlignCenter);
    picture->setObjectName(QStringLiteral("141"));
    // The headline is drawn in the artwork: a screen reader gets it as the picture's name.
    picture->setAccessibleName(QStringLiteral("Not saved: check file type"));

    m_text = new QLabel(QStringLiteral("Valid File extensions are:"), this);
    m_text->setObjectName(QStringLiteral("1038"));
    // The service's words are shown as they came, never interpreted as markup.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PlaceDu(du, m_text, 7, 99, 213, 25);

    auto line = [&](const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        PlaceDu(du, l, x, y, w, h);
    };
    line(QStringLiteral("Thank You,"), 94, 131, 38, 8);
    line(QStringLiteral("Orbidex Support"), 73, 141, 81, 8);
    line(QString::fromStdString(m_endpoints.supportEmail), 66, 151, 95, 8);

    m_btnOk = new QPushButton(QStringLiteral("&OK"), this);
    m_btnOk->setObjectName(QStringLiteral("1"));
    m_btnOk->setDefault(true);
    PlaceDu(du, m_btnOk, 176, 135, 34, 14);
    connect(m_btnOk, &QPushButton::clicked, this, [this] { done(IDOK); });
    setFixedSize(du.X(227), du.Y(167));
}

QWidget* WarnExt::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void WarnExt::ShowText()
{
    m_text->setText(QString::fromStdString(m_strText));
    // Read out with the dialog's title when it opens: the focus is on OK, not on the text.
    setAccessibleDescription(m_text->text());
}

void WarnExt::OnInitDialog()
{
    m_strText = "Valid File Extensions are: ";
    ShowText();
    const std::string url = ValidExtensionsUrl(m_endpoints, false);
    // A failed request says so rather than introducing a list that is not there.
    if (FetchExtensionList(m_internet, url, m_strText) != EFetchResult::Ok)
        m_strText = "Internet Not availabe to get valid file extensions.";
    ShowText();
    m_btnOk->setFocus();
}

int WarnExt::DoModal()
{
    OnInitDialog();
    return RunDialogModal(*this);
}
