#pragma once
#include "platform/VersionInfo.h"

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

inline constexpr int IDC_VERSION = 1057;

// The About box: a caption-less modal dialog filled by the About picture, with the product
// version in a read-only box on the picture's white field. One object per showing.
class CAboutThis : public QDialog {
    Q_OBJECT
public:
    // `module` is the version resource to read; the program's own when null.
    explicit CAboutThis(QWidget* parent = nullptr, const CVersionModule* module = nullptr);
    ~CAboutThis() override;

    // The formatted product version, read once per dialog object.
    std::string GetProductVersionText();

    // Runs the dialog modally; IDOK or IDCANCEL.
    int RunModal();

    // The control with the template's identifier (1 = OK, 1057 = version box), or null.
    QWidget* GetDlgItem(int id) const;
    // Dialog units of the template to pixels, by the dialog font's average character size.
    QRect MapDialogRect(int x, int y, int width, int height) const;

    void setVisible(bool visible) override;

protected:
    virtual void DoDataExchange(bool saveAndValidate);
    virtual bool OnInitDialog();

private:
    void CenterWindow();
    QPixmap RenderPicture(QSize size) const;

    const CVersionModule* m_module;
    std::string m_strProductVersion;  // cache; empty until first asked for
    std::string m_strVersion;         // bound to the version box
    bool m_bInitDone = false;
    int m_avgCharWidth = 0;
    int m_charHeight = 0;
    QLabel* m_picture = nullptr;
    QPushButton* m_ok = nullptr;
    QLineEdit* m_version = nullptr;
};
