#pragma once
#include <QIcon>

// The icon of resource `id` (tray states, window icon), drawn from our artwork. Built once per
// id and shared after that: the tray asks for one at every state change, and a fresh icon
// would read and render its drawing again each time. UI thread only.
QIcon LoadResIcon(int id);
