// The Configuration dialog's controls: where each lies, what a screen reader calls it, and the
// order Tab takes.
#include "ui/Resources.h"
#include "core/service/ExtCheck.h"
#include "ui/Icons.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/SourceDir.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

namespace {
constexpr int kDialogWidth = 437;
constexpr int kDialogHeight = 236;
constexpr int kPageHeight = 211;  // above Save and Cancel
// The two group frames round the check boxes: title and left edge.
constexpr std::pair<const char*, int> kFrames[] = {{"&Automatic Download", 11},
                                                   {"Passive &Mode", 94}};

// Where the boxes of each row of a column lie; the two columns are alike.
struct CRowPlace {
    int dirY, dirW, extY, extW, browseY, browseW;
};
constexpr CRowPlace kRowPlaces[5] = {{54, 130, 54, 24, 55, 38},
                                     {70, 129, 70, 23, 70, 37},
                                     {87, 129, 87, 23, 86, 37},
                                     {103, 129, 102, 22, 102, 38},
                                     {119, 129, 118, 22, 118, 38}};

#ifdef Q_OS_WIN
constexpr const char* kFolderHint = " e.g. C:\\Tolvane\\";
#else
constexpr const char* kFolderHint = " e.g. /home/tolvane/";
#endif
}  // namespace

void SourceDir::AddEdit(int id, int x, int y, int w, int h)
{
    auto* e = new QLineEdit(m_page);
    PlaceDu(CDialogUnits(font()), e, x, y, w, h);
    e->setObjectName(QString::number(id));
    m_items[id] = e;
}

QPushButton* SourceDir::AddButton(int id, const char* text, int x, int y, int w, int h,
                                  QWidget* parent)
{
    auto* b = new QPushButton(QString::fromLatin1(text), parent ? parent : m_page);
    const CDialogUnits du(font());
    // Wider when the desktop's font needs it, but never past the dialog's right margin.
    const int need =
        b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))) + du.X(6);
    const int room = du.X(kDialogWidth - 3 - x);
    b->setGeometry(du.X(x), du.Y(y), std::clamp(need, du.X(w), std::max(du.X(w), room)), du.Y(h));
    b->setObjectName(QString::number(id));
    b->setAutoDefault(false);
    m_items[id] = b;
    return b;
}

// A check box in its group frame, named after the frame: both of them read "Enabled".
void SourceDir::AddCheck(int id, const char* text, int x, int y, int w, int h, QGroupBox* frame)
{
    auto* c = new QCheckBox(QString::fromLatin1(text), frame ? frame : m_page);
    PlaceText(CDialogUnits(font()), c, x, y, w, h);
    c->setObjectName(QString::number(id));
    if (frame) {
        // Inside its frame, whose mnemonic then reaches it.
        c->move(c->pos() - frame->pos());
        c->setAccessibleName(frame->title().remove(QLatin1Char('&')));
    }
    m_items[id] = c;
}

// Static texts are placed by their top-left corner and take the width their words need.
QLabel* SourceDir::AddLabel(const QString& text, int x, int y, int maxWidth)
{
    const CDialogUnits du(font());
    auto* l = new QLabel(text, m_page);
    l->setTextFormat(Qt::PlainText);
    QSize size = l->sizeHint();
    int top = du.Y(y);
    if (maxWidth > 0 && size.width() > du.X(maxWidth)) {
        // Wrapped over two lines, centred where the one line would have been.
        l->setWordWrap(true);
        size = QSize(du.X(maxWidth), l->heightForWidth(du.X(maxWidth)));
        top -= (size.height() - du.Y(8)) / 2;
    }
    l->setGeometry(QRect(QPoint(du.X(x), top), size));
    return l;
}

void SourceDir::BuildLayout()
{
    const CDialogUnits du(font());
    // Save and Cancel sit below the page, which scrolls where the screen is too small.
    m_page = new QWidget;
    m_page->setFixedSize(du.X(kDialogWidth), du.Y(kPageHeight));
    auto* footer = new QWidget;
    footer->setFixedHeight(du.Y(kDialogHeight) - du.Y(kPageHeight));
    MakeScrollingPage(*this, m_page, footer);

    // Created in reading order, which is the order Tab takes and a screen reader lists: the
    // rows by their numbers, each left to right, then the options below line by line.
    auto* icon = new QLabel(m_page);
    icon->setPixmap(LoadResIcon(IDR_MAINFRAME).pixmap(32, 32));
    icon->setGeometry(du.X(7), du.Y(7), 32, 32);
    AddLabel(QStringLiteral("SOURCE FOLDERS"), 164, 7);
    AddLabel(QStringLiteral("(Folders where files will be Uploaded from)"), 134, 18);
    for (int col = 0; col < 2; ++col) {
        const int dx = col * 212;
        AddLabel(QStringLiteral("Folders"), 20 + dx, 36);
        AddLabel(QStringLiteral("FILE EXT "), 153 + dx, 36);  // on the line of "Folders"
        AddLabel(QString::fromLatin1(kFolderHint), 18 + dx, 44);
        AddLabel(QStringLiteral("e.g. dss, wav, rtf etc"), 137 + dx, 44);
        for (int i = 0; i < 5; ++i) {
            const int row = col * 5 + i;
            const CRowPlace& p = kRowPlaces[i];
            AddLabel(QString::number(row + 1), row < 5 ? 12 : row < 9 ? 224 : 221, p.dirY + 3);
            AddEdit(kDirBoxIds[row], 20 + dx, p.dirY, p.dirW, 14);
            AddEdit(kExtensionBoxIds[row], 153 + dx, p.extY, p.extW, 14);
            const std::string browse =
                row < 9 ? "Browse &" + std::to_string(row + 1) : std::string("Browse 1&0");
            AddButton(kBrowseIds[row], browse.c_str(), 180 + dx, p.browseY, p.browseW, 14);
        }
    }
    QGroupBox* frames[2];
    for (int i = 0; i < 2; ++i) {
        frames[i] = new QGroupBox(QString::fromLatin1(kFrames[i].first), m_page);
        PlaceDu(du, frames[i], kFrames[i].second, 142, 78, 24);
    }
    AddCheck(1046, "Enabled", 20, 154, 42, 10, frames[0]);
    AddCheck(1050, "Enabled", 102, 153, 42, 10, frames[1]);
    QLabel* download = AddLabel(QStringLiteral("&Download (to) Folder"), 185, 155);
    AddEdit(1051, 258, 152, 126, 14);
    SetBuddy(download, 1051);
    AddButton(kDownloadBrowseId, "&Browse", 390, 152, 41, 14);
    QLabel* login = AddLabel(QStringLiteral("&Login ID"), 11, 183);
    AddEdit(1021, 46, 180, 64, 14);
    SetBuddy(login, 1021);
    QLabel* password = AddLabel(QStringLiteral("&Password"), 126, 183);
    AddEdit(1034, 164, 180, 40, 14);
    SetBuddy(password, 1034);
    Edit(1034)->setEchoMode(QLineEdit::Password);
    QLabel* polling =
        AddLabel(QStringLiteral("Polling &Time in minutes. No Polling if 0 minutes"), 235, 182, 155);
    AddEdit(1024, 393, 180, 36, 14);
    SetBuddy(polling, 1024);
    AddCheck(1033, "Show this screen on Start-&up", 10, 200, 107, 10);
    AddCheck(kArrivalNoticesBox, "Tell me when documents &arrive", 290, 200, 140, 10);
    QPushButton* save = AddButton(IDOK, "&Save", 0, 0, 50, 14, footer);
    QPushButton* cancel = AddButton(IDCANCEL, "&Cancel", 0, 0, 50, 14, footer);
    PlaceFooterButtons(du, footer, kDialogWidth,
                       {{save, QRect(169, 213 - kPageHeight, 50, 14)},
                        {cancel, QRect(225, 213 - kPageHeight, 50, 14)}});
    save->setDefault(true);
    // The Browse buttons of a column keep one width, that of its widest text.
    for (int first : {0, 5}) {
        int width = 0;
        for (int row = first; row < first + 5; ++row)
            width = std::max(width, m_items[kBrowseIds[row]]->width());
        for (int row = first; row < first + 5; ++row)
            m_items[kBrowseIds[row]]->resize(width, m_items[kBrowseIds[row]]->height());
    }
    NameForReaders();

    for (int id : kBrowseIds)
        connect(static_cast<QPushButton*>(m_items[id]), &QPushButton::clicked, this,
                [this, id] { OnBrowse(id); });
    connect(static_cast<QPushButton*>(m_items[kDownloadBrowseId]), &QPushButton::clicked, this,
            [this] { OnBrowse(kDownloadBrowseId); });
    connect(Check(1046), &QCheckBox::clicked, this, &SourceDir::OnAutoDownload);
    connect(Check(1050), &QCheckBox::clicked, this, &SourceDir::OnPassive);
    connect(save, &QPushButton::clicked, this, &SourceDir::OnOK);
    connect(cancel, &QPushButton::clicked, this, &SourceDir::reject);
}

// What a screen reader says of the boxes that no label names alone.
void SourceDir::NameForReaders()
{
    for (int row = 0; row < kSourcePairs; ++row) {
        const QString n = QString::number(row + 1);
        Edit(kDirBoxIds[row])->setAccessibleName(QStringLiteral("Source folder ") + n);
        Edit(kExtensionBoxIds[row])
            ->setAccessibleName(QStringLiteral("Extension for source folder ") + n);
        m_items[kBrowseIds[row]]->setAccessibleDescription(QStringLiteral("Choose source folder ") +
                                                           n);
    }
    m_items[kDownloadBrowseId]->setAccessibleDescription(
        QStringLiteral("Choose the download folder"));
    // The long label speaks its first words; the rest is the box's description.
    Edit(1024)->setAccessibleName(QStringLiteral("Polling Time"));
    Edit(1024)->setAccessibleDescription(QStringLiteral("in minutes. No Polling if 0 minutes"));
}

// `label` names box `id` and its mnemonic reaches it.
void SourceDir::SetBuddy(QLabel* label, int id)
{
    label->setBuddy(m_items[id]);
    if (!label->wordWrap())
        label->adjustSize();  // the "&" is no longer drawn
}
