#include "socket/SocketMessageWindow.h"

#include "runtime/RuntimeError.h"
#include "platform/StandardError.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdio>
#include <exception>

namespace {

QEvent::Type MessageEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class SocketMessageEvent : public QEvent {
public:
    SocketMessageEvent(int32_t message, int32_t wParam, int32_t lParam, uint64_t origin)
        : QEvent(MessageEventType()), message(message), wParam(wParam), lParam(lParam), origin(origin)
    {
    }

    const int32_t message;
    const int32_t wParam;
    const int32_t lParam;
    const uint64_t origin;
};

std::string NotificationName(const SocketMessageEvent& message)
{
    char name[64];
    std::snprintf(name, sizeof name, "socket notification 0x%X on handle %d", static_cast<unsigned>(message.message),
                  static_cast<int>(message.wParam));
    return name;
}

void Route(const SocketMessageWindow::Router& router, const SocketMessageEvent& message)
{
    try {
        router(message.message, message.wParam, message.lParam, message.origin);
    } catch (const RuntimeError& error) {
        ReportLine(NotificationName(message) + ": error " + std::to_string(error.Number()) + " in " + error.Source()
                   + ": " + error.Description());
    } catch (const std::exception& error) {
        ReportLine(NotificationName(message) + ": " + error.what());
    }
}

}  // namespace

SocketMessageWindow::SocketMessageWindow(Router router) : router_(std::move(router))
{
}

void SocketMessageWindow::Post(int32_t message, int32_t wParam, int32_t lParam, uint64_t origin)
{
    QCoreApplication::postEvent(this, new SocketMessageEvent(message, wParam, lParam, origin));
}

void SocketMessageWindow::Close()
{
    closed_ = true;
    QCoreApplication::removePostedEvents(this, MessageEventType());
    deleteLater();
}

bool SocketMessageWindow::event(QEvent* event)
{
    if (event->type() != MessageEventType())
        return QObject::event(event);
    if (closed_)
        return true;
    // The handler may close this window; only the copy is used from here on.
    Router router = router_;
    Route(router, *static_cast<SocketMessageEvent*>(event));
    return true;
}
