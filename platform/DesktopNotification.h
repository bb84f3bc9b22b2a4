#pragma once

#include <QObject>
#include <QString>

// One notice of the session's notification service
// (org.freedesktop.Notifications on the session bus), which GNOME, KDE and
// daemons such as mako draw above the other windows without taking the
// keyboard. Each post replaces the last one; its one action, the user's
// click, is raised as Activated. The main window owns one for the fault
// alarm where showing a window would take the keyboard. User-interface
// thread only.
class DesktopNotification : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotification(QObject* parent = nullptr);

    // Posts the notice; false when no service on the session bus took it
    // (told on standard error the first time).
    bool Post(const QString& summary, const QString& body);

signals:
    void Activated();

private slots:
    void OnActionInvoked(uint id, const QString& action);

private:
    uint id_ = 0;
    bool told_ = false;
};
