#include "ui/dialogs/FilePickCtrl.h"

#include "platform/Utf8.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FolderListing.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {
constexpr int kRoleMarker = Qt::UserRole;
constexpr int kRoleName = Qt::UserRole + 1;
constexpr int kPageHeight = 200;  // above OK and Cancel

QString FromBytes(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

std::string NativeRoot(const QFileInfo& drive)
{
    return QFile::encodeName(QDir::toNativeSeparators(drive.absoluteFilePath())).toStdString();
}

bool IsLetteredRoot(const std::string& root)
{
    return root.size() >= 2 && root[1] == ':' && std::isalpha(static_cast<unsigned char>(root[0]));
}

std::string FirstRoot()
{
    const QFileInfoList drives = QDir::drives();
    return drives.isEmpty() ? std::string(1, QDir::separator().toLatin1())
                            : NativeRoot(drives.first());
}
}  // namespace

CFilePickCtrl::CFilePickCtrl(QWidget* parent) : QDialog(parent), m_strCurDir(FirstRoot())
{
    setWindowTitle(QStringLiteral("Select Directory"));
    BuildLayout();
}

void CFilePickCtrl::BuildLayout()
{
    const CDialogUnits du(font());
    // OK and Cancel sit below the page, which scrolls where the screen is too small.
    auto* page = new QWidget;
    page->setFixedSize(du.X(241), du.Y(kPageHeight));
    auto* footer = new QWidget;
    footer->setFixedHeight(du.Y(237) - du.Y(kPageHeight));
    MakeScrollingPage(*this, page, footer);
    QLabel* last = nullptr;  // the label made last names the box made after it
    auto label = [&](const char* text, int x, int y, int w, int h) {
        last = new QLabel(QString::fromLatin1(text), page);
        PlaceText(du, last, x, y, w, h);
        return last;
    };
    auto combo = [&](int x, int y, int w, const char* name) {
        auto* c = new QComboBox(page);
        c->setGeometry(du.X(x), du.Y(y), du.X(w), c->sizeHint().height());
        last->setBuddy(c);
        // Its label speaks for it (on Linux Qt names a combo box by the entry shown), and for its
        // list of entries, which would be nameless.
        c->setAccessibleName(QString::fromLatin1(name));
        c->view()->setAccessibleName(QString::fromLatin1(name));
        return c;
    };
    // Created in reading order, which is the order Tab takes and a screen reader lists.
    label("Current d&rive:", 7, 7, 68, 8);
    m_driveCtrl = combo(79, 5, 147, "Current drive");
    m_driveCtrl->setIconSize(QSize(16, 16));
    m_chkDirsOnly = new QCheckBox(QStringLiteral("&Directories only"), page);
    PlaceText(du, m_chkDirsOnly, 7, 24, 68, 8);
    m_lblCurDir = label("Current director&y:", 7, 37, 68, 8);
    m_curDirBox = new QLineEdit(page);
    m_curDirBox->setReadOnly(true);
    m_curDirBox->setAccessibleName(QStringLiteral("Current directory"));
    PlaceDu(du, m_curDirBox, 79, 35, 145, 12);
    m_lblCurDir->setBuddy(m_curDirBox);
    m_list = new QListWidget(page);
    PlaceDu(du, m_list, 7, 53, 218, 119);
    // Small icons flowing down the left, then on in further columns, like a small-icon view.
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setIconSize(QSize(16, 16));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(QStringLiteral("Folders and files"));
    m_lblFileTypes = label("File &types:", 7, 182, 33, 8);
    m_fileTypes = combo(48, 180, 176, "File types");
    m_btnOk = new QPushButton(QStringLiteral("&OK"), footer);
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(QStringLiteral("&Cancel"), footer);
    PlaceFooterButtons(du, footer, 241,
                       {{m_btnOk, QRect(60, 209 - kPageHeight, 50, 14)},
                        {m_btnCancel, QRect(121, 209 - kPageHeight, 49, 14)}});

    m_driveCtrl->setObjectName(QStringLiteral("2000"));
    m_list->setObjectName(QStringLiteral("2001"));
    m_curDirBox->setObjectName(QStringLiteral("2002"));
    m_fileTypes->setObjectName(QStringLiteral("2004"));
    m_lblFileTypes->setObjectName(QStringLiteral("2006"));
    m_lblCurDir->setObjectName(QStringLiteral("2005"));
    m_chkDirsOnly->setObjectName(QStringLiteral("1003"));
    m_btnOk->setObjectName(QStringLiteral("1"));
    m_btnCancel->setObjectName(QStringLiteral("2"));

    connect(m_list, &QListWidget::itemDoubleClicked, this, &CFilePickCtrl::OnDblClickEntry);
    connect(m_driveCtrl, &QComboBox::activated, this, &CFilePickCtrl::OnSelChangeDrive);
    connect(m_fileTypes, &QComboBox::activated, this, &CFilePickCtrl::OnSelChangeFileType);
    connect(m_chkDirsOnly, &QCheckBox::clicked, this, &CFilePickCtrl::OnDirectoriesOnly);
    connect(m_btnOk, &QPushButton::clicked, this, &CFilePickCtrl::OnOK);
    connect(m_btnCancel, &QPushButton::clicked, this, &CFilePickCtrl::OnCancel);
}

QWidget* CFilePickCtrl::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

int CFilePickCtrl::RunModal(const std::string& title)
{
    m_strTitle = std::string(CutUtf8(title, 1023));
    OnInitDialog();
    FitToScreen(*this);
    return RunDialogModal(*this);
}

void CFilePickCtrl::OnInitDialog()
{
    setWindowTitle(QString::fromStdString(m_strTitle));
    // A fresh run starts with folders and files: a flag kept from an earlier run would list
    // folders only behind an unchecked box.
    m_bDirsOnly = 0;
    m_chkDirsOnly->setChecked(false);
    m_lblCurDir->show();
    m_curDirBox->show();
    m_lblFileTypes->show();
    m_fileTypes->show();
    m_fileTypes->clear();
    m_fileTypes->addItem(QStringLiteral("All files (*.*)"));
    m_fileTypes->setMaxVisibleItems(std::max(1, m_fileTypes->count()));
    m_fileTypes->setCurrentIndex(m_nCurFileType < m_fileTypes->count() ? m_nCurFileType : -1);
    FillDrives();
    m_strOpenDir = m_strCurDir;
    ListCurrentFolder();
    m_list->setFocus();
}

void CFilePickCtrl::FillDrives()
{
    QFileIconProvider icons;
    m_driveCtrl->clear();
    m_nCurDrive = -1;
    for (const QFileInfo& drive : QDir::drives()) {
        std::string root = NativeRoot(drive);
        QString text;
        bool match = false;
        if (IsLetteredRoot(root)) {
            root[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
            text = QStringLiteral("(%1:)").arg(QChar::fromLatin1(root[0]));
            match = !m_strCurDir.empty() &&
                    std::toupper(static_cast<unsigned char>(m_strCurDir[0])) == root[0];
        } else {
            text = FromBytes(root);
            match = m_strCurDir.compare(0, root.size(), root) == 0;
        }
        if (match && m_nCurDrive < 0)
            m_nCurDrive = m_driveCtrl->count();
        m_driveCtrl->addItem(icons.icon(drive), text, QByteArray::fromStdString(root));
    }
    m_driveCtrl->setMaxVisibleItems(std::max(1, m_driveCtrl->count()));
    m_driveCtrl->setCurrentIndex(m_nCurDrive);
}

void CFilePickCtrl::ListCurrentFolder()
{
    m_list->clear();
    m_curDirBox->setText(FromBytes(m_strCurDir));
    QFileIconProvider provider;
    const QIcon folderIcon = provider.icon(QFileIconProvider::Folder);
    const bool withFiles = !m_bDirsOnly && m_fileTypes->currentIndex() >= 0;
    const std::string pattern =
        withFiles ? FileTypePattern(m_fileTypes->currentText().toStdString()) : std::string();
    // File-type icons by extension: asking the provider once per file is slow in big folders.
    QHash<QString, QIcon> iconByType;
    for (const CPickEntry& e : ListPickFolder(m_strCurDir, withFiles, pattern)) {
        auto* item = new QListWidgetItem(FromBytes(e.display));
        item->setData(kRoleMarker, e.marker);
        item->setData(kRoleName, QByteArray::fromStdString(e.name));
        if (IsFolderLike(e.marker)) {
            item->setIcon(folderIcon);
        } else {
            const QFileInfo fi(FromBytes(m_strCurDir + e.name));
            const QString type = fi.suffix().toLower();
            auto it = iconByType.find(type);
            if (it == iconByType.end())
                it = iconByType.insert(type, provider.icon(fi));
            item->setIcon(*it);
        }
        m_list->addItem(item);
    }
}

QString CFilePickCtrl::RowText(int row) const
{
    const QListWidgetItem* item = m_list->item(row);
    return item ? item->text() : QString();
}

int CFilePickCtrl::RowMarker(int row) const
{
    const QListWidgetItem* item = m_list->item(row);
    return item ? item->data(kRoleMarker).toInt() : 0;
}

// Moves the current folder as the row says: up, stay at the root, or into the row's folder
// by its stored name (the shown one may be title-cased). A folder too long to hold is refused.
void CFilePickCtrl::EnterRow(QListWidgetItem* item)
{
    const int marker = item->data(kRoleMarker).toInt();
    if (marker == kMarkParent) {
        m_strCurDir = ParentFolder(m_strCurDir);
    } else if (marker != kMarkRoot) {
        if (!AppendFolder(m_strCurDir, item->data(kRoleName).toByteArray().toStdString()))
            QApplication::beep();
    }
}

void CFilePickCtrl::OnDblClickEntry(QListWidgetItem* item)
{
    if (!item || !IsFolderLike(item->data(kRoleMarker).toInt()))
        return;
    EnterRow(item);
    ListCurrentFolder();
}

void CFilePickCtrl::OnSelChangeDrive(int index)
{
    m_nCurDrive = index;
    if (index < 0)
        return;
    m_strCurDir = m_driveCtrl->itemData(index).toByteArray().toStdString();
    ListCurrentFolder();
}

void CFilePickCtrl::OnSelChangeFileType(int index)
{
    m_nCurFileType = index;
    ListCurrentFolder();
}

void CFilePickCtrl::OnDirectoriesOnly(bool checked)
{
    m_bDirsOnly = checked ? 1 : 0;
    if (checked)
        m_nCurFileType = 0;
    m_lblFileTypes->hide();
    m_fileTypes->hide();
    ListCurrentFolder();
}

void CFilePickCtrl::OnOK()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    QListWidgetItem* item = selected.isEmpty() ? nullptr : selected.first();
    if (item && m_bDirsOnly && IsFolderLike(item->data(kRoleMarker).toInt())) {
        const std::string before = m_strCurDir;
        EnterRow(item);
        if (m_strCurDir == before && item->data(kRoleMarker).toInt() >= 0)
            return;  // refused as too long: stay open rather than return another folder
    }
    QDialog::done(IDOK);
}

void CFilePickCtrl::OnCancel()
{
    m_strCurDir = m_strOpenDir;
    QDialog::done(IDCANCEL);
}
