#pragma once
#include <QString>

class QWidget;

#include <functional>
#include <string>

// What the author can do with a file of the list, and the tray's shortcuts to the folders.

// Opens the file with the desktop's program for it.
bool OpenWithDesktop(const QString& path);
// Opens the folder holding `path` in the file manager, the file selected where the file
// manager offers that on the session bus; otherwise just the folder.
bool ShowInFolder(const QString& path);
// Puts the path on the clipboard.
void CopyPath(const QString& path);

// Undoes the sent mark of `path` so that the next cycle sends it again: gives back the write
// bits the mark took (as the state folder recorded them), or the owner's write bit for a file
// marked before that record was kept. A file whose content changed since its mark is not what
// was sent: it is left as it is (Changed) unless `evenIfChanged`, and then gets the owner's
// bit. Refuses a link, a file that is not marked, or one that is not a plain file; `why` then
// says so in the author's words.
enum class EUndo { Done, Changed, Refused };
EUndo UndoSentMark(const std::string& path, const std::string& stateFolder, bool evenIfChanged,
                   std::string* why);

// Asks the author before something is done that cannot be taken back by the agent: true when
// `yesText` was chosen. Through the dialog hook, so tests answer it.
bool AskConfirm(QWidget* parent, const QString& question, const QString& yesText);
