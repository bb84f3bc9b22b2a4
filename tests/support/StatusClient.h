#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Pumps the monitor's event loop until `done` holds or `timeoutMs` passes;
// answers whether it holds.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Pumps the monitor's event loop for `ms` milliseconds.
void PumpFor(int ms);

// A loopback port that nobody listens on, kept for this test program: a
// socket stays bound to it (reusable, never listening), so the kernel gives
// it to no other program while ctest runs them side by side, and a server
// of this program can still bind it and listen.
int32_t FreeLoopbackPort();

// A TCP connection to 127.0.0.1:`port` from the loopback address `from`, as
// a plain blocking socket, with Nagle's algorithm off so that every send
// leaves at once as the piece it is; -1 when the connection is refused.
int ConnectLoopback(int32_t port, uint32_t from = 0x7f000001);

// A client program of the status server, over a plain TCP socket on
// 127.0.0.1, to a server in this process: its events are pumped while the
// client waits. Also the far end of any loopback connection a test or fuzz
// target feeds.
class StatusClient {
public:
    explicit StatusClient(int32_t port, uint32_t from = 0x7f000001);
    ~StatusClient();
    StatusClient(const StatusClient&) = delete;
    StatusClient& operator=(const StatusClient&) = delete;

    // The connection was made (false: refused).
    bool Connected() const { return fd_ >= 0; }

    // Sends all of `bytes`; false when the connection has failed.
    bool Send(const std::string& bytes);

    // Waits up to `ms` for `count` bytes (fewer if the time runs out or the
    // server closes); pumps events meanwhile.
    std::string Receive(size_t count, int ms);

    // Whatever has arrived, without waiting.
    std::string ReadAvailable() { return Receive(SIZE_MAX, 0); }

    // True when the server ended the connection within `ms`.
    bool ClosedWithin(int ms);

    int Descriptor() const { return fd_; }

    // Ends the connection with a reset instead of an orderly close: no
    // TIME_WAIT is left on the local port. A client that comes and goes
    // thousands of times (a fuzz target) would otherwise hold every
    // ephemeral port of the kind connect() prefers for a minute, and other
    // programs could not bind one.
    void Abort();

private:
    // Reads what is there without blocking; false once the peer has closed.
    bool Drain(std::string& into);

    int fd_ = -1;
    bool peerClosed_ = false;
};
