#include "ui/dialogs/SourceDir.h"

#include "core/resources/Resources.h"
#include "platform/ProfileStore.h"
#include "ui/Icons.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FilePickCtrl.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Browse buttons of rows 1 to 10.
constexpr std::array<int, kSourcePairs> kBrowseIds = {1015, 1017, 1018, 1019, 1020,
                                                      1022, 1023, 1043, 1044, 1045};
constexpr int kDownloadBrowseId = 1052;

#ifdef Q_OS_WIN
constexpr const char* kFolderHint = " e.g. C:\\Tolvane\\";
#else
constexpr const char* kFolderHint = " e.g. /home/tolvane/";
#endif
}  // namespace

SourceDir::SourceDir(IProfileStore& profile, IInternet* internet, const CEndpoints& endpoints,
                     QWidget* parent)
    : QDialog(parent), m_profile(profile), m_internet(internet), m_endpoints(endpoints)
{
    setWindowTitle(QStringLiteral("Orbidex - Configuration"));
    setWindowIcon(LoadResIcon(IDR_MAINFRAME));
    m_filePick = new CFilePickCtrl(this);
    BuildLayout();
}

SourceDir::~SourceDir() = default;

void SourceDir::AddEdit(int id, int x, int y, int w, int h)
{
    auto* e = new QLineEdit(this);
    PlaceDu(CDialogUnits(font()), e, x, y, w, h);
    e->setObjectName(QString::number(id));
    m_items[id] = e;
}

void SourceDir::AddButton(int id, const char* text, int x, int y, int w, int h)
{
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    const CDialogUnits du(font());
    // Wider when the desktop's font needs it, but never past the dialog's right margin.
    const int need =
        b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))) + du.X(6);
    const int room = du.X(437 - 3 - x);
    b->setGeometry(du.X(x), du.Y(y), std::clamp(need, du.X(w), std::max(du.X(w), room)), du.Y(h));
    b->setObjectName(QString::number(id));
    b->setAutoDefault(false);
    m_items[id] = b;
}

void SourceDir::AddCheck(int id, const char* text, int x, int y, int w, int h)
{
    auto* c = new QCheckBox(QString::fromLatin1(text), this);
    PlaceText(CDialogUnits(font()), c, x, y, w, h);
    c->setObjectName(QString::number(id));
    m_items[id] = c;
}

// Static texts are placed by their top-left corner and take the width their words need.
void SourceDir::AddLabel(const QString& text, int x, int y, int maxWidth)
{
    const CDialogUnits du(font());
    auto* l = new QLabel(text, this);
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
}

void SourceDir::BuildLayout()
{
    const CDialogUnits du(font());
    setFixedSize(du.X(437), du.Y(236));

    // Frames and texts first: created later they would lie over the boxes they surround.
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadResIcon(IDR_MAINFRAME).pixmap(32, 32));
    icon->setGeometry(du.X(7), du.Y(7), 32, 32);
    auto* autoFrame = new QGroupBox(QStringLiteral("Automatic Download"), this);
    PlaceDu(du, autoFrame, 11, 142, 78, 24);
    auto* pasvFrame = new QGroupBox(QStringLiteral("Passive Mode"), this);
    PlaceDu(du, pasvFrame, 94, 142, 78, 24);
    AddLabel(QStringLiteral("SOURCE FOLDERS"), 164, 7);
    AddLabel(QStringLiteral("(Folders where files will be Uploaded from)"), 134, 18);
    for (int col = 0; col < 2; ++col) {
        const int dx = col * 212;
        AddLabel(QStringLiteral("Folders"), 20 + dx, 36);
        AddLabel(QStringLiteral("FILE EXT "), 153 + dx, 36);  // on the line of "Folders"
        AddLabel(QString::fromLatin1(kFolderHint), 18 + dx, 44);
        AddLabel(QStringLiteral("e.g. dss, wav, rtf etc"), 137 + dx, 44);
    }
    const int rowY[5] = {54, 70, 87, 103, 119};
    for (int row = 0; row < 5; ++row) {
        AddLabel(QString::number(row + 1), 12, rowY[row] + 3);
        AddLabel(QString::number(row + 6), row + 6 < 10 ? 224 : 221, rowY[row] + 3);
    }
    AddLabel(QStringLiteral("Login ID"), 11, 183);
    AddLabel(QStringLiteral("Password"), 126, 183);
    AddLabel(QStringLiteral("Polling Time in minutes. No Polling if 0 minutes"), 235, 182, 155);
    AddLabel(QStringLiteral("Download (to) Folder"), 185, 155);

    // The controls, in tab order.
    AddEdit(1012, 20, 54, 130, 14);
    AddEdit(1013, 153, 54, 24, 14);
    AddButton(1015, "Browse &1", 180, 55, 38, 14);
    AddEdit(1014, 232, 54, 130, 14);
    AddEdit(1016, 365, 54, 24, 14);
    AddButton(1022, "Browse &6", 392, 55, 38, 14);
    AddEdit(1025, 20, 70, 129, 14);
    AddEdit(1029, 153, 70, 23, 14);
    AddButton(1017, "Browse &2", 180, 70, 37, 14);
    AddEdit(1035, 232, 70, 129, 14);
    AddEdit(1039, 365, 70, 23, 14);
    AddButton(1023, "Browse &7", 392, 70, 37, 14);
    AddEdit(1026, 20, 87, 129, 14);
    AddEdit(1030, 153, 87, 23, 14);
    AddButton(1018, "Browse &3", 180, 86, 37, 14);
    AddEdit(1036, 232, 87, 129, 14);
    AddEdit(1040, 365, 87, 23, 14);
    AddButton(1043, "Browse &8", 392, 86, 37, 14);
    AddEdit(1027, 20, 103, 129, 14);
    AddEdit(1031, 153, 102, 22, 14);
    AddButton(1019, "Browse &4", 180, 102, 38, 14);
    AddEdit(1037, 232, 103, 129, 14);
    AddEdit(1041, 365, 102, 22, 14);
    AddButton(1044, "Browse &9", 392, 102, 38, 14);
    AddEdit(1028, 20, 119, 129, 14);
    AddEdit(1032, 153, 118, 22, 14);
    AddButton(1020, "Browse &5", 180, 118, 38, 14);
    AddEdit(1038, 232, 119, 129, 14);
    AddEdit(1042, 365, 118, 22, 14);
    AddButton(1045, "Browse 1&0", 392, 118, 38, 14);
    AddCheck(1046, "Enabled", 20, 154, 42, 10);
    AddEdit(1021, 46, 180, 64, 14);
    AddEdit(1034, 164, 180, 40, 14);
    Edit(1034)->setEchoMode(QLineEdit::Password);
    AddEdit(1024, 393, 180, 36, 14);
    AddButton(IDOK, "&Save", 169, 213, 50, 14);
    AddButton(IDCANCEL, "&Cancel", 225, 213, 50, 14);
    AddCheck(1033, "Show this screen on Start-up", 10, 200, 107, 10);
    AddEdit(1051, 258, 152, 126, 14);
    AddButton(kDownloadBrowseId, "&Browse", 390, 152, 41, 14);
    AddCheck(1050, "Enabled", 102, 153, 42, 10);
    static_cast<QPushButton*>(m_items[IDOK])->setDefault(true);
    // The Browse buttons of a column keep one width, that of its widest text.
    for (int first : {0, 5}) {
        int width = 0;
        for (int row = first; row < first + 5; ++row)
            width = std::max(width, m_items[kBrowseIds[row]]->width());
        for (int row = first; row < first + 5; ++row)
            m_items[kBrowseIds[row]]->resize(width, m_items[kBrowseIds[row]]->height());
    }

    for (int id : kBrowseIds)
        connect(static_cast<QPushButton*>(m_items[id]), &QPushButton::clicked, this,
                [this, id] { OnBrowse(id); });
    connect(static_cast<QPushButton*>(m_items[kDownloadBrowseId]), &QPushButton::clicked, this,
            [this] { OnBrowse(kDownloadBrowseId); });
    connect(Check(1046), &QCheckBox::clicked, this, &SourceDir::OnAutoDownload);
    connect(Check(1050), &QCheckBox::clicked, this, &SourceDir::OnPassive);
    connect(static_cast<QPushButton*>(m_items[IDOK]), &QPushButton::clicked, this,
            &SourceDir::OnOK);
    connect(static_cast<QPushButton*>(m_items[IDCANCEL]), &QPushButton::clicked, this,
            &SourceDir::reject);
}

QWidget* SourceDir::GetDlgItem(int id) const
{
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

QLineEdit* SourceDir::Edit(int id) const
{
    return qobject_cast<QLineEdit*>(GetDlgItem(id));
}

QCheckBox* SourceDir::Check(int id) const
{
    return qobject_cast<QCheckBox*>(GetDlgItem(id));
}

void SourceDir::OnInitDialog()
{
    const CSettings stored = ::LoadSettings(m_profile);
    // A row whose extension was never written has nothing to trust: the load rule's "wav" for
    // a row without a folder counts only once a Save has stored an extension there.
    for (int row = 0; row < kSourcePairs; ++row) {
        const std::string key = "Ext" + std::to_string(row + 1);
        m_strSavedExt[row] =
            m_profile.GetProfileString(kSectionSource, key).empty() ? "" : stored.Ext[row];
    }
    FetchValidExtensions();
    SetFields(stored);
    Check(1046)->setChecked(m_nAutoDownLoad == 1);
    Check(1050)->setChecked(m_nPASV > 0);
    UpdateData(false);
}

// The first folder box takes the focus once the dialog shows, not before: QDialog::show() sends
// its focus widget a FocusIn even when the window is not active, and an empty box with a cursor
// then asks the input method for the typing direction. Qt 6.4's Wayland client (Debian 12) looks
// that up on the compositor's seat without checking there is one, and crashes where there is
// none (a headless or remote session); current Qt checks. Given now, the focus arrives with the
// activation, which only a seat brings.
void SourceDir::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    if (visible)
        Edit(1012)->setFocus();
}

int SourceDir::DoModal()
{
    OnInitDialog();
    return RunDialogModal(*this);
}

void SourceDir::OnBrowse(int buttonId)
{
    std::string* field = &m_strTDir;
    const char* title = "Select Download Folder";
    int box = 1051;
    for (int row = 0; row < kSourcePairs; ++row)
        if (kBrowseIds[row] == buttonId) {
            field = &m_strDir[row];
            box = kDirBoxIds[row];
            title = "Select Folder";
        }
    if (m_filePick->RunModal(title) != IDOK)
        return;
    *field = m_filePick->GetSelectedFolder();
    // Only the picked folder's box: showing every field would throw away what was typed in
    // the others since the dialog opened.
    Edit(box)->setText(QString::fromStdString(*field));
}

// The box checks itself on a click; the value decides what it shows. A value 2 or 3 from the
// profile is kept until the box is clicked.
void SourceDir::OnAutoDownload()
{
    m_nAutoDownLoad = m_nAutoDownLoad == 0 ? 1 : 0;
    Check(1046)->setChecked(m_nAutoDownLoad == 1);
}

void SourceDir::OnPassive()
{
    m_nPASV = m_nPASV > 0 ? 0 : 1;
    Check(1050)->setChecked(m_nPASV > 0);
}

void SourceDir::reject()
{
    QDialog::done(IDCANCEL);
}
