#pragma once

class QWidget;

// Keeps the main window within reach on a desktop without a notification area, where it is the
// agent's only way in. On X11 it waits minimised in the task bar. A Wayland client cannot bring
// back a window it has minimised (xdg-shell has no request for it) and not every compositor
// can (weston has no task bar), so there it stays open.
void KeepWithoutTray(QWidget& window);

// Whether the window draws its own title bar (Qt on Wayland), so that a new title or icon shows
// only with the window's next frame.
bool DrawsOwnTitleBar();
