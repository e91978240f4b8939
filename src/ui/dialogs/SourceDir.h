#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"

#include <QDialog>
#include <array>
#include <map>
#include <string>

class CFilePickCtrl;
class IInternet;
class IProfileStore;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Folder boxes and Browse buttons of rows 1 to 10.
inline constexpr std::array<int, kSourcePairs> kDirBoxIds = {1012, 1025, 1026, 1027, 1028,
                                                             1014, 1035, 1036, 1037, 1038};
inline constexpr std::array<int, kSourcePairs> kBrowseIds = {1015, 1017, 1018, 1019, 1020,
                                                             1022, 1023, 1043, 1044, 1045};
inline constexpr int kDownloadBrowseId = 1052;

// "Orbidex - Configuration": edits every setting, reads the profile itself when it opens and
// writes it whole on Save once every extension passes the service's list. The caller's record
// is never touched; the caller reloads after the dialog.
class SourceDir : public QDialog {
    Q_OBJECT
public:
    SourceDir(IProfileStore& profile, IInternet* internet, const CEndpoints& endpoints,
              QWidget* parent = nullptr);
    ~SourceDir() override;

    int DoModal();
    QWidget* GetDlgItem(int id) const;
    QLineEdit* Edit(int id) const;
    QCheckBox* Check(int id) const;
    CFilePickCtrl& FilePicker() { return *m_filePick; }

    // Moves the fields into the boxes (false) or the boxes into the fields (true); a taking
    // stops at a polling time that is not a whole number and returns false.
    bool UpdateData(bool bSaveAndValidate);
    // The fields as a settings record, and the record into the fields.
    CSettings Fields() const;
    void SetFields(const CSettings& s);

    void FetchValidExtensions();
    bool CheckExtensions();
    const std::string& ValidExtensions() const { return m_strValidExtensions; }
    // False when the list request failed: no list, as opposed to an empty one.
    bool ValidListFetched() const { return m_bListFetched; }
    int32_t AutoDownLoadValue() const { return m_nAutoDownLoad; }
    int32_t PassiveValue() const { return m_nPASV; }

    // Handlers, public so a test can act as the user does.
    void OnBrowse(int buttonId);
    void OnAutoDownload();
    void OnPassive();
    void OnOK();
    void accept() override { OnOK(); }
    void reject() override;
    void setVisible(bool visible) override;

private:
    void BuildLayout();
    void OnInitDialog();
    void NameForReaders();
    void SetBuddy(QLabel* label, int id);
    void AddEdit(int id, int x, int y, int w, int h);
    QPushButton* AddButton(int id, const char* text, int x, int y, int w, int h,
                           QWidget* parent = nullptr);
    void AddCheck(int id, const char* text, int x, int y, int w, int h,
                  QGroupBox* frame = nullptr);
    QLabel* AddLabel(const QString& text, int x, int y, int maxWidth = 0);
    bool TakePollTime();

    IProfileStore& m_profile;
    IInternet* m_internet;
    CEndpoints m_endpoints;

    // Fields, in the order the exchange visits them after the control bindings.
    int32_t m_nAutoDownLoad = 0;
    int32_t m_nPASV = 0;
    std::string m_strValidExtensions;
    bool m_bListFetched = false;
    // Each row's extension as last saved (empty when none was): trusted while offline.
    std::array<std::string, kSourcePairs> m_strSavedExt;
    CFilePickCtrl* m_filePick = nullptr;
    std::array<std::string, kSourcePairs> m_strDir;
    std::array<std::string, kSourcePairs> m_strExt;
    std::string m_strAuthor;
    int32_t m_nPollTime = 0;
    int32_t m_bShowConfig = 0;
    int32_t m_bArrivalNotices = 1;
    // The first Save leaves "Show this screen on Start-up" ticked only when the author ticked
    // it: its default is for the first start, not for every start after.
    bool m_bFirstSave = false;
    bool m_bShowConfigChosen = false;
    static constexpr int kArrivalNoticesBox = 1060;
    std::string m_strPassword;
    std::string m_strTDir;

    QWidget* m_page = nullptr;  // every control but Save and Cancel
    std::map<int, QWidget*> m_items;
};
