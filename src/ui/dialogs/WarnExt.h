#pragma once
#include "core/settings/Endpoints.h"

#include <QDialog>
#include <string>

class IInternet;
class QLabel;
class QPushButton;

// "Warning": shown when Save meets a refused extension; asks the service for its list once more
// and shows it, so the author can see what the service takes.
class WarnExt : public QDialog {
    Q_OBJECT
public:
    WarnExt(IInternet* internet, const CEndpoints& endpoints, QWidget* parent = nullptr);

    int DoModal();
    const std::string& Text() const { return m_strText; }
    QWidget* GetDlgItem(int id) const;

private:
    void BuildLayout();
    void OnInitDialog();
    void ShowText();

    IInternet* m_internet;
    CEndpoints m_endpoints;
    std::string m_strText;
    QLabel* m_text = nullptr;  // 1038
    QPushButton* m_btnOk = nullptr;
};
