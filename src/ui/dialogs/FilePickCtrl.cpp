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
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QStorageInfo>

namespace {
constexpr int kRoleMarker = Qt::UserRole;
constexpr int kRoleName = Qt::UserRole + 1;
constexpr int kPageHeight = 200;  // above OK and Cancel

QString FromBytes(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

// A folder as the picker holds it: absolute, ending with a separator; empty when `path` names
// no folder or would be too long to hold.
std::string PickFolder(const QString& path)
{
    const QFileInfo fi(QDir::cleanPath(path));
    if (path.isEmpty() || !fi.isDir())
        return {};
    std::string folder = QFile::encodeName(QDir::toNativeSeparators(fi.absoluteFilePath()))
                             .toStdString();
    if (folder.empty() || folder.back() != QDir::separator().toLatin1())
        folder += QDir::separator().toLatin1();
    return folder.size() <= kMaxPickFolder ? folder : std::string();
}

// Volumes an author mounts: removable media, other disks and network shares, not the
// system's own file systems.
bool AuthorVolume(const QStorageInfo& volume)
{
    if (!volume.isValid() || !volume.isReady() || volume.isRoot())
        return false;
    const QString root = volume.rootPath();
    for (const char* place : {"/media/", "/mnt/", "/run/media/"})
        if (root.startsWith(QLatin1String(place)))
            return true;
    const QByteArray type = volume.fileSystemType();
    return type.startsWith("nfs") || type == "cifs" || type == "smb3" || type == "fuse.sshfs";
}
}  // namespace

std::string PickerHome()
{
    const std::string home = PickFolder(QDir::homePath());
    return home.empty() ? std::string(1, QDir::separator().toLatin1()) : home;
}

std::vector<CPickPlace> AuthorPlaces()
{
    std::vector<CPickPlace> places;
    auto add = [&](const QString& name, const QString& path) {
        const std::string folder = PickFolder(path);
        if (folder.empty())
            return;
        for (const CPickPlace& p : places)
            if (p.folder == folder)
                return;  // an unset user folder is the home itself
        places.push_back({name, folder});
    };
    add(QStringLiteral("Home"), QDir::homePath());
    for (auto where : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                       QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation}) {
        const QString path = QStandardPaths::writableLocation(where);
        add(QFileInfo(path).fileName(), path);
    }
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (AuthorVolume(volume))
            add(volume.displayName(), volume.rootPath());
    return places;
}

CFilePickCtrl::CFilePickCtrl(QWidget* parent) : QDialog(parent), m_strCurDir(PickerHome())
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
    label("&Places:", 7, 7, 68, 8);
    m_placeCtrl = combo(79, 5, 147, "Places");
    m_placeCtrl->setIconSize(QSize(16, 16));
    m_chkDirsOnly = new QCheckBox(QStringLiteral("&Directories only"), page);
    PlaceText(du, m_chkDirsOnly, 7, 24, 68, 8);
    m_lblCurDir = label("Current director&y:", 7, 37, 68, 8);
    m_curDirBox = new QLineEdit(page);
    // A folder typed or pasted here is gone to with Return, which must not also press OK.
    m_curDirBox->installEventFilter(this);
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

    m_placeCtrl->setObjectName(QStringLiteral("2000"));
    m_list->setObjectName(QStringLiteral("2001"));
    m_curDirBox->setObjectName(QStringLiteral("2002"));
    m_fileTypes->setObjectName(QStringLiteral("2004"));
    m_lblFileTypes->setObjectName(QStringLiteral("2006"));
    m_lblCurDir->setObjectName(QStringLiteral("2005"));
    m_chkDirsOnly->setObjectName(QStringLiteral("1003"));
    m_btnOk->setObjectName(QStringLiteral("1"));
    m_btnCancel->setObjectName(QStringLiteral("2"));

    connect(m_list, &QListWidget::itemDoubleClicked, this, &CFilePickCtrl::OnDblClickEntry);
    connect(m_placeCtrl, &QComboBox::activated, this, &CFilePickCtrl::OnSelChangePlace);
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
    FillPlaces();
    m_strOpenDir = m_strCurDir;
    ListCurrentFolder();
    m_list->setFocus();
}

void CFilePickCtrl::FillPlaces()
{
    QFileIconProvider icons;
    m_placeCtrl->clear();
    m_nCurPlace = -1;
    std::size_t longest = 0;  // the place holding the current folder most closely
    for (const CPickPlace& place : AuthorPlaces()) {
        const QString path = FromBytes(place.folder);
        if (m_strCurDir.compare(0, place.folder.size(), place.folder) == 0 &&
            place.folder.size() > longest) {
            longest = place.folder.size();
            m_nCurPlace = m_placeCtrl->count();
        }
        m_placeCtrl->addItem(icons.icon(QFileInfo(path)), place.name,
                             QByteArray::fromStdString(place.folder));
        m_placeCtrl->setItemData(m_placeCtrl->count() - 1, path, Qt::ToolTipRole);
    }
    m_placeCtrl->setMaxVisibleItems(std::max(1, m_placeCtrl->count()));
    m_placeCtrl->setCurrentIndex(m_nCurPlace);
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

void CFilePickCtrl::OnSelChangePlace(int index)
{
    m_nCurPlace = index;
    if (index < 0)
        return;
    m_strCurDir = m_placeCtrl->itemData(index).toByteArray().toStdString();
    ListCurrentFolder();
}

bool CFilePickCtrl::GoToTypedFolder()
{
    const QString typed = m_curDirBox->text().trimmed();
    if (typed == FromBytes(m_strCurDir))
        return true;
    const std::string folder =
        PickFolder(typed.startsWith(QLatin1Char('~')) ? QDir::homePath() + typed.mid(1) : typed);
    if (folder.empty()) {
        QApplication::beep();
        m_curDirBox->selectAll();  // left for the author to correct
        return false;
    }
    m_strCurDir = folder;
    FillPlaces();
    ListCurrentFolder();
    return true;
}

bool CFilePickCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_curDirBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            GoToTypedFolder();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CFilePickCtrl::OpenAt(const QString& folder)
{
    const std::string at = PickFolder(folder);
    m_strCurDir = at.empty() ? PickerHome() : at;
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
    // A folder typed but not yet gone to is the one meant; one that does not exist keeps
    // the picker open rather than returning another.
    if (!GoToTypedFolder())
        return;
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
