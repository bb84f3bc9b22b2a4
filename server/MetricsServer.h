#pragma once

#include <QTimer>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

class CNetSocket;
class frmMain;

// The metrics endpoint: a small HTTP/1.0 and 1.1 server on a port of its
// own that answers GET /metrics (and HEAD) with the monitor's state in
// Prometheus' text format; any other path gets 404, another method 405, a
// request that is not HTTP or longer than 8 KiB 400 and the end of the
// connection. HTTP/1.1 connections are kept for further requests.
//
// It owns its listening socket and the connections it took: at most
// kMaxConnections at a time, and further ones are closed as they come. A
// connection that has not completed a request 5 seconds after its accept or
// its last answer is dropped. Everything runs from socket notifications and
// one timer on the user-interface thread, like the status servers, so a
// slow or hostile client delays nothing else. The main window owns it and
// outlives it.
class MetricsServer {
public:
    static constexpr size_t kMaxConnections = 4;
    static constexpr size_t kMaxRequest = 8 * 1024;
    static constexpr int kIdleMs = 5000;

    // Listens on `port` of `address` (every local address when empty);
    // raises RuntimeError when that fails.
    MetricsServer(const frmMain& form, int32_t port, const std::string& address);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

private:
    struct Connection;

    void ConnectionRequest(int32_t requestID);
    void DataArrival(Connection& connection);
    void Answer(Connection& connection, const std::string& requestLine, const std::string& headers);
    void Send(Connection& connection, const std::string& status, const std::string& body, bool headOnly,
              const std::string& version, bool keepAlive, const std::string& extraHeaders = {});
    void Drop(Connection& connection);
    void DropIdle();
    void Relisten();

    const frmMain& form_;
    std::unique_ptr<CNetSocket> listener_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::string address_;
    QTimer idleCheck_;
};
