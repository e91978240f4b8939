#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

inline constexpr const char* kHelpFileName = "orbidex-help.html";

// Where the help is looked for, in order: next to the executable, in the build tree (the
// build copies it to help/ beside the executable), in a relocated install
// (<bin>/../share/orbidex/help) and in the install prefix the program was built for.
QStringList HelpFileCandidates();

// The first candidate that exists, or empty.
QString FindHelpFile();

// Opens a link of the help that leads out of it (mail, web) with the desktop's program for it;
// tests replace it so nothing is launched.
extern std::function<bool(const QUrl&)> g_openHelpUrl;
