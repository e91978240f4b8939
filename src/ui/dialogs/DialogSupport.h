#pragma once
#include <QFont>
#include <QRect>
#include <QString>
#include <functional>

class QDialog;
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

// The application message box (OK button, exclamation icon). Tests answer it in advance
// through `configMessageBoxHook` instead of blocking.
void ConfigMessageBox(QWidget* parent, const QString& text, const QString& caption);
extern std::function<void(const QString& text, const QString& caption)> configMessageBoxHook;

// Runs `dlg` modally, or, when `hook` is set, hands the ready dialog to it instead of exec():
// the hook closes it with done(IDOK/IDCANCEL) as a user would. A dialog left open counts as
// cancelled. Returns IDOK or IDCANCEL.
int RunDialogModal(QDialog& dlg, const std::function<void(QDialog&)>& hook);
