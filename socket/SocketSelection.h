#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

// The notification selection of one socket: turns the readiness that Qt's
// level-triggered socket notifiers report into the edge-like notifications
// of asynchronous socket selection, each posted once per occasion:
// FD_ACCEPT per pending connection, FD_READ until the next receive, FD_WRITE
// once when connected and once after each send that would block,
// FD_CONNECT once with the connect's result, FD_CLOSE once when the peer
// ends the stream. A notifier is only on while the socket may have
// something new to say, so a quiet socket costs nothing.
//
// Owned by modNetSocket, which tells it of the socket calls made on its
// socket (the After... functions) and posts what it reports.
class SocketSelection {
public:
    enum class Mode { Idle, Listening, Connecting, Connected, Datagram, Finished };

    using Post = std::function<void(int32_t handle, uint16_t event, uint16_t error)>;

    SocketSelection(int32_t handle, Mode mode, Post post);
    ~SocketSelection();
    SocketSelection(const SocketSelection&) = delete;
    SocketSelection& operator=(const SocketSelection&) = delete;

    void AfterListen(int32_t error);
    void AfterConnect(int32_t error);
    // A failed accept leaves FD_ACCEPT off: the connection that could not be
    // taken would be announced again at once, for as long as the cause lasts
    // (no descriptor left, say). The owner listens again when it sees fit.
    void AfterAccept(int32_t error);
    void AfterReceive();
    void AfterSend(int32_t error);

    Mode CurrentMode() const { return mode_; }

private:
    void OnReadable();
    void OnWritable();
    void OnConnectDone();
    void Watch(bool read, bool write);
    void Finish();

    int32_t handle_;
    Mode mode_;
    Post post_;
    std::unique_ptr<QSocketNotifier> read_;
    std::unique_ptr<QSocketNotifier> write_;
};
