// The pictures of the tray icons, drawn to read on light and dark panels
// alike: each has a dark outline around light shapes.
#pragma once

#include <QIcon>

// The main icon: the program's own.
QIcon MainTrayIcon();
// The short-message icon: an envelope; for a full store with a red bar
// across its lower edge.
QIcon SmsTrayIcon(bool storage_full);
