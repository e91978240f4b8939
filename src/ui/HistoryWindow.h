#pragma once
#include <QWidget>

#include <functional>
#include <string>

class CHistory;
class CHistoryModel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
struct CHistoryEntry;

// "Recent activity": what went out and came in, newest first, with what the author can do to
// the file selected. Keyboard: Enter opens, the buttons have mnemonics, the menu key gives the
// same actions.
class CHistoryWindow final : public QWidget {
    Q_OBJECT
public:
    CHistoryWindow(const CHistory& history, std::string stateFolder, QWidget* parent = nullptr);
    // Shows the list as the history has it now; `path` selected when given.
    void Refresh();
    void SelectPath(const QString& path);
    QTableView* View() const { return m_view; }
    CHistoryModel* Model() const { return m_model; }

    // After a file's mark was taken off: the caller starts a cycle.
    std::function<void()> onSendAgain;

    // The actions, on the row selected (public for the keyboard's and tests' sake).
    void OpenSelected();
    void OpenFolderSelected();
    void SendAgainSelected();
    void CopyPathSelected();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const CHistoryEntry* Selected() const;
    void UpdateButtons();
    void Tell(const QString& text);

    std::string m_stateFolder;
    CHistoryModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_view = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_folder = nullptr;
    QPushButton* m_again = nullptr;
    QPushButton* m_copy = nullptr;
};
