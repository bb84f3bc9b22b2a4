#pragma once

#include <QObject>

// Tells when the desktop's notification area may have come or gone: the
// StatusNotifierItem watcher appearing on the session bus, leaving it, or
// announcing a host; and, when asked to, every few seconds, for an XEmbed
// tray on X11. A panel may start after the monitor, or restart
// under it. The tray shell owns one on a desktop and asks again what is
// there at each Changed. User-interface thread only.
class NotificationAreaWatch : public QObject {
    Q_OBJECT
public:
    NotificationAreaWatch(bool lookForXEmbedTray, QObject* parent);

signals:
    void Changed();

private slots:
    void OnHostRegistered();
};
