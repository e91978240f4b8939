#pragma once
#include "ui/Resources.h"

#include <QList>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// The window's menu and the tray menu lead to the same commands; both are built from one table
// (Menus.cpp), so a command's text and number are written once.

// Gives the action of one command (its text, with its mnemonic, and its command number).
using MakeCommandAction = std::function<QAction*(const QString& text, int id)>;

// The tray menu's default command, drawn in bold; a double click on the icon runs it.
inline constexpr int kTrayDefaultCommand = ID_OPEN_WINDOW;

// The window's menu bar: its commands, then the "&Help" popup, then the commands it carries
// only where there is no tray (returned, for the caller to show or hide).
QList<QAction*> FillWindowMenu(QMenuBar& bar, const MakeCommandAction& make);
// The tray's popup "&Tray", owned by `parent`.
QMenu* MakeTrayMenu(QWidget* parent, const MakeCommandAction& make);
