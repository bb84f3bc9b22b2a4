#pragma once

// Whether the session bus has a StatusNotifierItem host: the watcher
// (org.kde.StatusNotifierWatcher) is there and says a host has registered
// with it (KDE Plasma, GNOME's AppIndicator extension, waybar). Qt then
// puts its tray icon up as an item on the bus, and the host draws the
// icon's menu itself; elsewhere the icon goes into an XEmbed tray, or
// nowhere. Asked by the tray shell when it makes the icon and whenever the
// notification area may have changed. Blocks for a round trip to the
// watcher. User-interface thread only.
bool StatusNotifierHostRegistered();
