#pragma once
#include <QFont>
#include <QRect>
#include <QString>
#include <functional>
#include <initializer_list>
#include <utility>

class QDialog;
class QMessageBox;
class QWidget;

// Results of a modal run, as the dialogs' callers compare them.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// The dialogs are laid out in dialog units, so a row designed to line up with the next one
// still does whatever font the desktop gives us: x px = du * average char width / 4,
// y px = du * char height / 8.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    int X(int du) const;
    int Y(int du) const;
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    int AverageCharWidth() const { return m_cx; }
    int CharHeight() const { return m_cy; }

private:
    int m_cx;
    int m_cy;
};

// Places `w` at a rectangle given in dialog units.
void PlaceDu(const CDialogUnits& du, QWidget* w, int x, int y, int width, int height);
// The same for a label or check box, widened when the desktop's font needs more room than the
// design gave its text, so no word is cut.
void PlaceText(const CDialogUnits& du, QWidget* w, int x, int y, int width, int height);

// Puts `page` (its controls placed in dialog units, its size fixed) in a scroll area over
// `footer` (the dialog's buttons, its height fixed), so a dialog larger than the screen at a high
// scale scrolls while its buttons stay in view. The dialog is never made larger than both.
void MakeScrollingPage(QDialog& dlg, QWidget* page, QWidget* footer);
// Lays `buttons` out in `footer` where the design puts them (left edge and width of each in
// dialog units, in a dialog `width` wide), and keeps them centred alike in a narrower dialog.
void PlaceFooterButtons(const CDialogUnits& du, QWidget* footer, int width,
                        const std::initializer_list<std::pair<QWidget*, QRect>>& buttons);
// Sizes a dialog of MakeScrollingPage to the whole page, or to the available room of the screen
// it opens on when that is smaller. Call before showing it.
// Sizes a window to `wanted`, or less where the screen's free area (without panels) is
// smaller, and centres it there: its lower edge (a status bar) must stay on screen.
void PlaceWithinScreen(QWidget& window, const QSize& wanted);
void FitToScreen(QDialog& dlg);

// Every modal dialog and message box of the agent goes through the two functions below, and
// tests answer them through the two hooks, so no test ever blocks in exec(). The hooks are
// called on the UI thread; while one is empty, the real dialog or box shows.

// Gets each modal dialog, initialised and shown, instead of its modal loop, and closes it with
// done(IDOK/IDCANCEL) as a user would. A dialog it leaves open counts as cancelled.
extern std::function<void(QDialog&)> g_modalDialogHook;
// Gets the text and caption of each message box instead of showing it; OK is the only answer.
extern std::function<void(const QString& text, const QString& caption)> g_messageBoxHook;

// Runs `dlg` modally. Returns IDOK or IDCANCEL.
int RunDialogModal(QDialog& dlg);

enum class EBoxModality {
    Modal,     // the agent's other windows wait until it is closed
    Modeless,  // the rest of the agent stays usable, the tray menu's Exit above all
};

// The application message box: exclamation icon and an OK button. Returns once it is closed.
void AgentMessageBox(const QString& text, const QString& caption, QWidget* parent = nullptr,
                     EBoxModality modality = EBoxModality::Modal);

// The same box, shown without waiting for it: it deletes itself when closed. Null when a test
// hook answered it instead.
QMessageBox* ShowAgentMessageBox(const QString& text, const QString& caption);
