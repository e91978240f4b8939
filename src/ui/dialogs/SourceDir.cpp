#include "ui/dialogs/SourceDir.h"

#include "ui/Resources.h"
#include "platform/ProfileStore.h"
#include "ui/Icons.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FilePickCtrl.h"

#include <QCheckBox>
#include <QLineEdit>

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
    m_bFirstSave = !m_profile.HasProfileValue(kSectionAuthor, "Show Config");
    connect(Check(1033), &QCheckBox::clicked, this, [this] { m_bShowConfigChosen = true; });
    SetFields(stored);
    // An empty box would otherwise read as a password never saved. The box is narrow: one
    // word in it, the sentence in its tooltip.
    const bool locked = stored.PasswordLocked;
    Edit(1034)->setPlaceholderText(locked ? QStringLiteral("locked") : QString());
    Edit(1034)->setToolTip(locked ? QStringLiteral("The password is kept in the keyring, which "
                                                   "is locked. Leave this empty to keep it.")
                                  : QString());
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
    FitToScreen(*this);
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
    // The picker opens where this row points, not where it was last left.
    m_filePick->OpenAt(Edit(box)->text());
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
