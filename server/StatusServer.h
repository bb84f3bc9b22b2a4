#pragma once

#include <QMetaObject>
#include <cstdint>
#include <string>

class CNetSocket;
class QTimer;
class StatusStore;

// The handlers of one status server: `tcpServer1` with `Timer1`, or
// `tcpServer2` with `Timer2`. The server's socket listens on the port of the
// printer named by its Tag, takes one client at a time into the same socket
// object, answers each request 1D 61 01 with that printer's stored status
// bytes, and listens again when the client closes or when the connection
// timer fires five seconds after the accept.
//
// The socket holds its port from the first bind to the end: while a client
// is served the port does not listen, so a second client is refused, but no
// other program can take the port meanwhile.
//
// The main window owns the socket and the timer and outlives this object;
// the stored status comes from `store`. The socket's events and the timer's
// tick call the handlers on the user-interface thread. An error inside a
// handler ends that handler only: it is written to standard error and the
// monitor goes on. A server left neither listening nor serving a client by
// such an error (an accept that failed for want of descriptors, a socket
// that could not be made) listens again: at once, then every five seconds
// until it can. A client that resets its connection is no error: it is
// dropped, like any other, five seconds after its accept.
class StatusServer {
public:
    // `address`: the dotted IPv4 address the server binds, every local
    // address when empty.
    StatusServer(StatusStore& store, CNetSocket& server, QTimer& timer, std::string name, std::string address = {});
    ~StatusServer();
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    void ConnectionRequest(int32_t requestID);
    void DataArrival(int32_t bytesTotal);
    void CloseSck();
    void Timer();

private:
    void Relisten();
    void Error(int16_t number, const std::string& source, const std::string& description);
    void ListenAgainSoon();
    template <typename Handler>
    void Run(const char* event, Handler&& handler);

    StatusStore& store_;
    CNetSocket& server_;
    QTimer& timer_;
    QMetaObject::Connection tick_;
    std::string name_;
    std::string address_;
    // Set from a failure until the server listens again.
    bool recovering_ = false;
};
