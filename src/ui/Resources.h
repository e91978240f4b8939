#pragma once
#include "core/settings/AppName.h"

#include <string>

// Numbers of the agent's resources and commands.
inline constexpr int IDR_MAINFRAME = 2;
inline constexpr int IDR_TRAYMENU = 3;
inline constexpr int IDI_TRAY_IDLE = 101;
inline constexpr int IDI_TRAY_BUSY = 102;
// Something needs the author: the tooltip then says what (the string is a fallback).
inline constexpr int IDI_TRAY_ATTENTION = 104;
inline constexpr int IDC_STATUSBAR = 103;
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_SOURCEDIR = 110;
inline constexpr int IDD_FILEPICK = 112;
inline constexpr int IDD_WARNEXT = 138;
inline constexpr int IDB_WARNING = 141;
inline constexpr int IDB_ABOUT = 153;

inline constexpr int ID_CHANGE_TRAY_ICON = 32771;
inline constexpr int ID_OPEN_WINDOW = 32775;
inline constexpr int ID_EXIT = 32776;
inline constexpr int ID_CONFIGURATION = 32777;
inline constexpr int ID_TRANSFER_NOW = 32782;
inline constexpr int ID_RECENT_ACTIVITY = 32783;
inline constexpr int ID_OPEN_DOWNLOADS = 32784;
inline constexpr int ID_OPEN_LOG = 32785;
inline constexpr int ID_PAUSE = 32786;  // its text says Resume while paused
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_HELP_FINDER = 57670;
inline constexpr int AFX_IDS_APP_TITLE = 57344;


// The string table; empty for a number without a string.
std::string LoadResString(int id);
