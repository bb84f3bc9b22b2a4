#include "platform/DesktopNotification.h"

#include "platform/StandardError.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A daemon that does not answer within this must not hold up the polls.
constexpr int kCallTimeoutMs = 2000;
constexpr unsigned char kUrgencyCritical = 2;

}  // namespace

DesktopNotification::DesktopNotification(QObject* parent) : QObject(parent)
{
    QDBusConnection::sessionBus().connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                          SLOT(OnActionInvoked(uint, QString)));
}

bool DesktopNotification::Post(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // Critical: the notice stays until the user answers it, as the window
    // would.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(kUrgencyCritical)},
                            {QStringLiteral("desktop-entry"), QStringLiteral("statusmonitorq62m")}};
    call << QStringLiteral("StatusMonitorQ62m") << id_ << QStringLiteral("statusmonitorq62m") << summary << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << hints << int32_t{0};
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        // Told once: a session without the service stays without it.
        if (!told_)
            ReportFailedCall("org.freedesktop.Notifications.Notify", reply.errorMessage().toStdString(),
                             "faults are shown in the window, which takes the keyboard");
        told_ = true;
        return false;
    }
    id_ = reply.arguments().constFirst().toUInt();
    return true;
}

void DesktopNotification::OnActionInvoked(uint id, const QString& action)
{
    static_cast<void>(action);
    if (id == id_ && id_ != 0)
        emit Activated();
}
