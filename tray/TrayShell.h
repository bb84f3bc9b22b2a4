#pragma once

#include "tray/NotifyIconData.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

class QMenu;

// The desktop's notification area as the tray icon object sees it: one call
// that adds, modifies or deletes the icon a record describes, and the
// icon's notifications sent back to the record's host window. Realised
// over QSystemTrayIcon, which it owns. A notification reaches the host as
// the record's callback message, the mouse-move message, with the
// notification code as X; it is posted, so the host handles it from the
// event queue as it would any window message. It follows the notification
// area as it comes and goes after the start (a panel started late or
// restarted) and says so through AreaChanged. Headless nothing is put on
// the desktop, but every call is applied alike. Lives on the
// user-interface thread; the tray icon object owns it, and tests derive
// from it to watch the calls.
class TrayShell : public QObject {
    Q_OBJECT
public:
    // `onDesktop` false keeps the icon off the desktop (the headless run).
    explicit TrayShell(bool onDesktop);
    TrayShell();
    ~TrayShell() override;

    // Adds (NIM_ADD), modifies (NIM_MODIFY) or removes (NIM_DELETE) the
    // icon, applying the field groups that the record's uFlags name. A
    // modify before the add, or a second add, is refused silently, as the
    // caller never looks at the result.
    virtual void NotifyIcon(uint32_t command, const NotifyIconData& record);

    // Hands the icon's menu to a StatusNotifierItem host, which draws it as
    // its own (on Wayland a menu of this program's would be a window of its
    // own that takes the keyboard); the host then opens it without asking
    // the program. An XEmbed tray is left without it: Qt would pop it at
    // the button's press, and there the tray window opens it at the release.
    void ExportMenu(QMenu* menu);

    // The desktop's icon: what it shows, and its activations.
    QSystemTrayIcon& Icon();
    bool Added() const { return added_; }

    // Whether the desktop has a notification area now: a StatusNotifierItem
    // host, or on X11 an XEmbed tray. False headless.
    bool AreaPresent() const;

signals:
    // The notification area came (a panel started after the monitor) or
    // went.
    void AreaChanged(bool present);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply(const NotifyIconData& record);
    void Remove();
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void ReportTrigger();
    void ReportAtRelease(Qt::MouseButton button);
    void AwaitRelease(Qt::MouseButton button);
    void Callback(int32_t code);

    void MakeIcon();
    void LookAgain();

    bool onDesktop_;
    // Made with the shell, except on Wayland before a StatusNotifierItem host
    // is there: Qt decides once, when the first icon is made or its
    // notification area first asked about, whether icons go to a host.
    QSystemTrayIcon* icon_ = nullptr;
    bool itemIcon_ = false;
    bool areaPresent_ = false;
    QMenu* menu_ = nullptr;
    QIcon picture_;
    QString tooltip_;
    bool added_ = false;
    bool menuExported_ = false;
    QPointer<QWidget> host_;
    uint32_t callbackMessage_ = 0;
    Qt::MouseButtons pendingRelease_;
};
