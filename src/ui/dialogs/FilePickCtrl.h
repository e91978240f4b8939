#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// A place the picker offers to jump to: shown name and folder (ending with a separator).
struct CPickPlace {
    QString name;
    std::string folder;
};
// The author's home, the user folders set in it, and mounted volumes, in that order.
std::vector<CPickPlace> AuthorPlaces();
// Where a picker starts when given no folder: the author's home.
std::string PickerHome();

// The folder picker: places, the current folder, its sub-folders (and files), and a result
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
    // The next run opens at `folder` when it names one, else at the author's home.
    void OpenAt(const QString& folder);

    QWidget* GetDlgItem(int id) const;
    QListWidget* EntryList() const { return m_list; }
    // Row `row`'s shown name and marker (for tests and the accessibility of the list).
    QString RowText(int row) const;
    int RowMarker(int row) const;
    bool DirectoriesOnly() const { return m_bDirsOnly != 0; }

    // The handlers, public so a test can act as the user does.
    void OnDblClickEntry(QListWidgetItem* item);
    void OnSelChangePlace(int index);
    void OnSelChangeFileType(int index);
    void OnDirectoriesOnly(bool checked);
    void OnOK();
    void OnCancel();

    void accept() override { OnOK(); }
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override { OnCancel(); }

private:
    void BuildLayout();
    void OnInitDialog();
    void FillPlaces();
    // Goes to the folder typed in the path box; false (with a beep) when it names none.
    bool GoToTypedFolder();
    void ListCurrentFolder();
    void EnterRow(QListWidgetItem* item);

    int32_t m_bDirsOnly = 0;
    std::string m_strTitle;
    std::string m_strCurDir;
    std::string m_strOpenDir;
    int32_t m_nCurPlace = -1;
    int32_t m_nCurFileType = 0;

    QCheckBox* m_chkDirsOnly = nullptr;  // 1003
    QComboBox* m_placeCtrl = nullptr;    // 2000
    QListWidget* m_list = nullptr;       // 2001
    QLineEdit* m_curDirBox = nullptr;    // 2002
    QComboBox* m_fileTypes = nullptr;    // 2004
    QLabel* m_lblFileTypes = nullptr;    // 2006
    QLabel* m_lblCurDir = nullptr;       // 2005
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
};
