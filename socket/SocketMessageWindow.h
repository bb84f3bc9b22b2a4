#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

// The message window of the socket layer: a Qt object that takes the
// notifications posted for sockets and host look-ups as (message, wParam,
// lParam) and hands each to the router when the event loop gets to it,
// never inside the code that posted it. A run-time error that escapes a
// notification's handler ends here, on standard error, and never reaches
// the event loop. Created and closed by modNetSocket; user-interface thread
// only.
class SocketMessageWindow : public QObject {
public:
    // `origin` tells the router which notification source posted the
    // message, so that it can drop messages of a source that is gone.
    using Router = std::function<void(int32_t message, int32_t wParam, int32_t lParam, uint64_t origin)>;

    explicit SocketMessageWindow(Router router);

    void Post(int32_t message, int32_t wParam, int32_t lParam, uint64_t origin);
    // Drops every message still queued and routes no more; the object is
    // deleted once control is back in the event loop, since a handler on
    // the stack may still be running inside it.
    void Close();

protected:
    bool event(QEvent* event) override;

private:
    Router router_;
    bool closed_ = false;
};
