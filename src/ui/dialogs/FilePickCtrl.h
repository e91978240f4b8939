#pragma once
#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The folder picker: drives, the current folder, its sub-folders (and files), and a result
// that always ends with a separator so callers can use it as a prefix. One object serves many
// runs and keeps its folder between them.
class CFilePickCtrl : public QDialog {
    Q_OBJECT
public:
    explicit CFilePickCtrl(QWidget* parent = nullptr);

    // Runs the picker with `title`; IDOK or IDCANCEL.
    int RunModal(const std::string& title);
    // The current folder: after IDOK the choice, after IDCANCEL the folder the run began in.
    std::string GetSelectedFolder() const { return m_strCurDir; }
    void SetCurrentFolder(const std::string& folder) { m_strCurDir = folder; }

    QWidget* GetDlgItem(int id) const;
    QListWidget* EntryList() const { return m_list; }
    // Row `row`'s shown name and marker (for tests and the accessibility of the list).
    QString RowText(int row) const;
    int RowMarker(int row) const;
    bool DirectoriesOnly() const { return m_bDirsOnly != 0; }

    // The handlers, public so a test can act as the user does.
    void OnDblClickEntry(QListWidgetItem* item);
    void OnSelChangeDrive(int index);
    void OnSelChangeFileType(int index);
    void OnDirectoriesOnly(bool checked);
    void OnOK();
    void OnCancel();

    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

private:
    void BuildLayout();
    void OnInitDialog();
    void FillDrives();
    void ListCurrentFolder();
    void EnterRow(QListWidgetItem* item);

    int32_t m_bDirsOnly = 0;
    std::string m_strTitle;
    std::string m_strCurDir;
    std::string m_strOpenDir;
    int32_t m_nCurDrive = -1;
    int32_t m_nCurFileType = 0;

    QCheckBox* m_chkDirsOnly = nullptr;  // 1003
    QComboBox* m_driveCtrl = nullptr;    // 2000
    QListWidget* m_list = nullptr;       // 2001
    QLineEdit* m_curDirBox = nullptr;    // 2002
    QComboBox* m_fileTypes = nullptr;    // 2004
    QLabel* m_lblFileTypes = nullptr;    // 2006
    QLabel* m_lblCurDir = nullptr;       // 2005
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
};
