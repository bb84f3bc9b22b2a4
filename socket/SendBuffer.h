#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes a socket's owner has handed over and the platform not yet taken.
// A TCP connection sends them in chunks of at most the platform's send
// buffer and keeps what the platform would not take for the next FD_WRITE;
// a UDP socket sends them as one datagram. Owned by CNetSocket, which raises
// the send events from what a push tells.
class SendBuffer {
public:
    struct Pushed {
        int32_t error;  // 0, WSAEWOULDBLOCK with the rest kept, or a failure
        int32_t sent;   // bytes taken by the platform in this push
    };

    size_t Size() const { return bytes_.size(); }
    bool Empty() const { return bytes_.empty(); }
    void Append(const std::string& bytes) { bytes_ += bytes; }
    void Clear() { bytes_.clear(); }

    // Sends until everything is sent, the platform would block or a send
    // fails; trims the sent bytes off once, when it stops.
    Pushed Push(int32_t socket, int32_t chunkSize);

    // Sends everything as one datagram to `host` (a dotted address or a
    // name looked up at once) and empties the buffer whatever comes of it.
    // 0 or the Windows Sockets error; a host that cannot be found, or a
    // platform that would block, is a run-time error of `source`.
    int32_t SendDatagram(int32_t socket, const std::string& host, int32_t port, const std::string& source);

private:
    std::string bytes_;
};
