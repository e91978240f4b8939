#pragma once
#include <QString>

// One message through the desktop's notification service (the freedesktop one on the session
// bus), sent without waiting for an answer. False when there is no bus or no service: nothing
// else changes then.
bool ShowDesktopNotice(const QString& title, const QString& text);
