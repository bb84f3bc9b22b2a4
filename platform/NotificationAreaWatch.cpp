#include "platform/NotificationAreaWatch.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace {
// How often an X11 desktop is asked again whether it has a tray.
constexpr int kTrayLookMs = 3000;
}  // namespace

NotificationAreaWatch::NotificationAreaWatch(bool lookForXEmbedTray, QObject* parent) : QObject(parent)
{
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    auto* service = new QDBusServiceWatcher(watcher, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(service, &QDBusServiceWatcher::serviceOwnerChanged, this, &NotificationAreaWatch::Changed);
    QDBusConnection::sessionBus().connect(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                                          QStringLiteral("StatusNotifierHostRegistered"), this,
                                          SLOT(OnHostRegistered()));
    // Qt reports a new XEmbed tray manager only through an interface of its
    // own plugin, so an X11 desktop is asked again now and then: one round
    // trip to the X server every few seconds.
    if (lookForXEmbedTray) {
        auto* look = new QTimer(this);
        connect(look, &QTimer::timeout, this, &NotificationAreaWatch::Changed);
        look->start(kTrayLookMs);
    }
}

void NotificationAreaWatch::OnHostRegistered()
{
    emit Changed();
}
