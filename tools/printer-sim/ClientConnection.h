#pragma once

#include "tools/printer-sim/RequestScanner.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>

// One client of a simulated printer: an accepted TCP connection or the
// master side of the printer's pseudo-terminal. Owns the descriptor, the
// scanner of the client's requests, the bytes waiting to be written and the
// answers held back by a delay. PrinterSimulator creates one per accepted
// connection and per pseudo-terminal and drives it from its poll loop.
class ClientConnection {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    enum class Kind { Tcp, Pty };

    // Bytes still unwritten beyond this are dropped with a message: a client
    // that never reads must not grow the simulator without bound.
    static constexpr size_t kMaxPendingOutput = 1 << 20;

    ClientConnection(int fd, size_t printer, Kind kind, std::string peer);
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    int Fd() const { return fd_; }
    size_t Printer() const { return printer_; }
    Kind GetKind() const { return kind_; }
    const std::string& Peer() const { return peer_; }

    struct ReadResult {
        std::vector<RequestScanner::Piece> pieces;
        bool ended = false;  // the client closed or the descriptor failed
        std::string error;   // why it failed, empty for a plain close
    };
    // Reads what the client has sent so far.
    ReadResult Read();

    // Queues bytes for writing; false when the output cap would be passed.
    bool Queue(const Bytes& bytes);
    // Holds an answer back until `due`.
    void Schedule(TimePoint due, Bytes bytes);
    // Answers whose time has come, in the order they were scheduled.
    std::vector<Bytes> TakeDue(TimePoint now);
    std::optional<TimePoint> NextDue() const;

    // Writes as much queued output as the descriptor takes. False when the
    // client has gone.
    bool Flush();
    bool WantsWrite() const { return !output_.empty(); }

    void MarkClosed() { closed_ = true; }
    bool Closed() const { return closed_; }

private:
    struct Delayed {
        TimePoint due;
        Bytes bytes;
    };

    int fd_;
    size_t printer_;
    Kind kind_;
    std::string peer_;
    RequestScanner scanner_;
    Bytes output_;
    std::deque<Delayed> delayed_;
    bool closed_ = false;
};
