#include "tray/TrayShell.h"

#include "platform/Display.h"
#include "platform/NotificationAreaWatch.h"
#include "platform/StatusNotifierHost.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <algorithm>
#include <climits>

namespace {

int32_t ReleaseCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return WM_LBUTTONUP;
    case Qt::RightButton:
        return WM_RBUTTONUP;
    case Qt::MiddleButton:
        return WM_MBUTTONUP;
    default:
        return 0;
    }
}

// The balloon icon kinds: 0 none, 1 information, 2 warning, 3 error.
QSystemTrayIcon::MessageIcon BalloonIcon(uint32_t infoFlags)
{
    switch (infoFlags & 0xF) {
    case 1:
        return QSystemTrayIcon::Information;
    case 2:
        return QSystemTrayIcon::Warning;
    case 3:
        return QSystemTrayIcon::Critical;
    default:
        return QSystemTrayIcon::NoIcon;
    }
}

}  // namespace

TrayShell::TrayShell(bool onDesktop) : onDesktop_(onDesktop)
{
    // Only X11 has trays other than a StatusNotifierItem host.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (!onDesktop_ || !wayland || StatusNotifierHostRegistered())
        MakeIcon();
    if (!onDesktop_)
        return;
    areaPresent_ = AreaPresent();
    auto* watch = new NotificationAreaWatch(x11 && !itemIcon_, this);
    connect(watch, &NotificationAreaWatch::Changed, this, &TrayShell::LookAgain);
}

void TrayShell::MakeIcon()
{
    itemIcon_ = onDesktop_ && StatusNotifierHostRegistered();
    icon_ = new QSystemTrayIcon(this);
    connect(icon_, &QSystemTrayIcon::activated, this, &TrayShell::Activated);
    connect(icon_, &QSystemTrayIcon::messageClicked, this, [this] { Callback(NIN_BALLOONUSERCLICK); });
    ExportMenu(menu_);
    icon_->setIcon(picture_);
    icon_->setToolTip(tooltip_);
    if (added_ && onDesktop_ && !picture_.isNull())
        icon_->show();
}

QSystemTrayIcon& TrayShell::Icon()
{
    if (!icon_)
        MakeIcon();
    return *icon_;
}

bool TrayShell::AreaPresent() const
{
    if (!onDesktop_)
        return false;
    if (!icon_ || itemIcon_)
        return StatusNotifierHostRegistered();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayShell::LookAgain()
{
    if (!icon_ && StatusNotifierHostRegistered())
        MakeIcon();
    const bool present = AreaPresent();
    if (present == areaPresent_)
        return;
    areaPresent_ = present;
    emit AreaChanged(present);
}

TrayShell::TrayShell() : TrayShell(!IsOffscreenPlatform())
{
}

TrayShell::~TrayShell()
{
    Remove();
}

void TrayShell::NotifyIcon(uint32_t command, const NotifyIconData& record)
{
    switch (command) {
    case NIM_ADD:
        if (added_)
            return;
        added_ = true;
        Apply(record);
        break;
    case NIM_MODIFY:
        if (added_)
            Apply(record);
        break;
    case NIM_DELETE:
        Remove();
        break;
    default:
        break;
    }
}

void TrayShell::ExportMenu(QMenu* menu)
{
    menu_ = menu;
    if (!menu_ || !icon_ || !itemIcon_)
        return;
    icon_->setContextMenu(menu_);
    menuExported_ = true;
}

void TrayShell::Apply(const NotifyIconData& record)
{
    if (record.uFlags & NIF_MESSAGE) {
        host_ = record.hWnd;
        callbackMessage_ = record.uCallbackMessage;
    }
    if (record.uFlags & NIF_ICON)
        picture_ = record.hIcon;
    if (record.uFlags & NIF_TIP)
        tooltip_ = QString::fromLatin1(FieldText(record.szTip));
    if (!icon_)
        return;
    if (record.uFlags & NIF_ICON)
        icon_->setIcon(picture_);
    if (record.uFlags & NIF_TIP)
        icon_->setToolTip(tooltip_);
    // A desktop icon needs a picture, so the icon appears with its first one.
    if (onDesktop_ && !icon_->isVisible() && !icon_->icon().isNull())
        icon_->show();
    if ((record.uFlags & NIF_INFO) && icon_->isVisible()) {
        const int timeout = static_cast<int>(std::min<uint32_t>(record.uTimeout, INT_MAX));
        icon_->showMessage(QString::fromLatin1(FieldText(record.szInfoTitle)),
                           QString::fromLatin1(FieldText(record.szInfo)), BalloonIcon(record.dwInfoFlags), timeout);
    }
}

void TrayShell::Remove()
{
    if (!added_)
        return;
    added_ = false;
    if (icon_)
        icon_->hide();
    host_ = nullptr;
    pendingRelease_ = {};
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void TrayShell::Activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        ReportTrigger();
        break;
    case QSystemTrayIcon::Context:
        // A host that has the menu draws it; one that asks the program
        // anyway is not answered with a second menu.
        if (!menuExported_)
            ReportAtRelease(Qt::RightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
        ReportAtRelease(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::DoubleClick:
        Callback(WM_LBUTTONDBLCLK);
        // The second press of a double-click has its own release to report.
        if (QGuiApplication::mouseButtons() & Qt::LeftButton)
            AwaitRelease(Qt::LeftButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

// An XEmbed tray reports a left click at its press, while this program
// sees the button down, and a double-click of its own. A StatusNotifierItem
// host has no double-click: its one click on the icon reaches this program
// as the item's Activate, with no button held here, and asks for what a
// double-click asks for elsewhere, the window.
void TrayShell::ReportTrigger()
{
    if (QGuiApplication::mouseButtons() & Qt::LeftButton)
        AwaitRelease(Qt::LeftButton);
    else
        Callback(WM_LBUTTONDBLCLK);
}

// An XEmbed tray reports a click while the button is still down; a
// StatusNotifierItem host reports it after the release. Either way the host
// hears of the click at the release, as the notification codes say.
void TrayShell::ReportAtRelease(Qt::MouseButton button)
{
    if (QGuiApplication::mouseButtons() & button)
        AwaitRelease(button);
    else
        Callback(ReleaseCode(button));
}

bool TrayShell::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (pendingRelease_ & button) {
            pendingRelease_ &= ~button;
            if (!pendingRelease_)
                QCoreApplication::instance()->removeEventFilter(this);
            Callback(ReleaseCode(button));
        }
    }
    return QObject::eventFilter(watched, event);
}

// Desktops that report a click at its press leave the release to be told:
// the program's events are watched for it from the press to the release
// only, not for the whole run.
void TrayShell::AwaitRelease(Qt::MouseButton button)
{
    if (!pendingRelease_)
        QCoreApplication::instance()->installEventFilter(this);
    pendingRelease_ |= button;
}

void TrayShell::Callback(int32_t code)
{
    // The host is a window of this program; the mouse-move message is the
    // one callback message it can be sent.
    if (!host_ || callbackMessage_ != static_cast<uint32_t>(WM_MOUSEMOVE))
        return;
    const QPointF where(code, 0);
    QCoreApplication::postEvent(host_, new QMouseEvent(QEvent::MouseMove, where, where, Qt::NoButton,
                                                       QGuiApplication::mouseButtons(),
                                                       QGuiApplication::keyboardModifiers()));
}
