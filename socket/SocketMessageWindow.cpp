#include "socket/SocketMessageWindow.h"

#include "core/RuntimeError.h"

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

void Route(const SocketMessageWindow::Router& router, const SocketMessageEvent& message)
{
    try {
        router(message.message, message.wParam, message.lParam, message.origin);
    } catch (const RuntimeError& error) {
        std::fprintf(stderr, "socket notification 0x%X on handle %d: error %d in %s: %s\n",
                     static_cast<unsigned>(message.message), message.wParam, error.Number(),
                     error.Source().c_str(), error.Description().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "socket notification 0x%X on handle %d: %s\n", static_cast<unsigned>(message.message),
                     message.wParam, error.what());
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
