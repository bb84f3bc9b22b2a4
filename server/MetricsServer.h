#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

class CNetSocket;
class HttpRequest;
struct MonitorMetrics;
class StatusStore;

// The metrics endpoint: a small HTTP/1.0 and 1.1 server on a port of its
// own that answers GET /metrics (and HEAD) with the monitor's state in
// Prometheus' text format; any other path gets 404, another method 405, a
// request that is not HTTP or whose head is longer than 8 KiB 400 and the
// end of the connection. Connections are kept for further requests unless
// the client asks otherwise.
//
// It owns its listening socket and the connections it took, and no client
// can make it hold more than a few kilobytes: each connection keeps at most
// 8 KiB of input and one answer, and while an answer is unsent it reads no
// further input, so a client that sends without reading is held back by
// its own kernel buffers. A connection goes when it has no complete request
// kRequestMs after its accept or its last answer, when an answer stays
// unsent for kUnsentMs (sending part of it does not extend that), or when a
// new connection needs its place. Only a connection whose answer is on its
// way keeps its place; the oldest of the others gives way, whether it is
// idle or still sending its request head, so neither idle connections nor
// slow heads lock a scraper out. One peer address holds at most
// kMaxPerPeer connections: its next one takes the place of its own oldest.
// After an answer with "Connection: close" further input is read and
// discarded until the connection ends.
//
// A listener that fails (an accept when descriptors have run out) listens
// again at once, then every kRelistenMs while that fails or keeps failing;
// standard error hears of it once, and again only after a minute without.
//
// Everything runs from socket notifications and timers on the
// user-interface thread, like the status servers, one request per turn of
// the event loop, so a slow or hostile client delays nothing else. The main
// window owns it and outlives it.
class MetricsServer {
public:
    static constexpr size_t kMaxConnections = 8;
    static constexpr size_t kMaxPerPeer = 3;
    static constexpr size_t kMaxRequest = 8 * 1024;
    static constexpr int kRequestMs = 2000;
    static constexpr int kUnsentMs = 5000;
    static constexpr int kRelistenMs = 5000;

    // Listens on `port` of `address` (every local address when empty);
    // raises RuntimeError when that fails.
    MetricsServer(const MonitorMetrics& metrics, const StatusStore& store, int32_t port, const std::string& address);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

private:
    struct Connection;

    void ConnectionRequest(int32_t requestID);
    bool MakeRoom(const std::string& peer);
    bool GiveWay(const std::function<bool(const Connection&)>& among);
    void DataArrival(Connection& connection);
    void Serve(Connection& connection);
    void ServeLater(const Connection& connection);
    void Answer(Connection& connection, const HttpRequest& request);
    void Send(Connection& connection, const std::string& version, const std::string& status, const std::string& body,
              bool headOnly, bool keepAlive, const std::string& extraHeaders = {});
    void AnswerSent(Connection& connection);
    void Drop(Connection& connection);
    void CheckDeadlines();
    void Listen();
    void ListenerFailed(int32_t number, const std::string& description);
    void Relisten();

    const MonitorMetrics& metrics_;
    const StatusStore& store_;
    std::unique_ptr<CNetSocket> listener_;
    // In the order of their accept.
    std::list<std::unique_ptr<Connection>> connections_;
    uint64_t nextSerial_ = 0;
    int32_t port_;
    std::string address_;
    // Ticks while a connection or a relisten has a deadline.
    QTimer idleCheck_;
    // When the listener last failed, and when it tries again (0: no try due).
    double lastFailure_ = -1e9;
    double relistenAt_ = 0;
};
