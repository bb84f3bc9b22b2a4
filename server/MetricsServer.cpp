#include "server/MetricsServer.h"

#include "runtime/RuntimeError.h"
#include "platform/Clock.h"
#include "platform/StandardError.h"
#include "server/HttpRequest.h"
#include "server/MetricsExposition.h"
#include "socket/CNetSocket.h"

#include <algorithm>

namespace {

const std::string kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

// A listener failure after this long without one is told again.
constexpr double kQuietSeconds = 60;

double After(int ms)
{
    return CurrentClock().Now() + ms / 1000.0;
}

}  // namespace

struct MetricsServer::Connection {
    std::unique_ptr<CNetSocket> socket = std::make_unique<CNetSocket>();
    // Names this connection in calls queued for later, which may find it gone.
    uint64_t serial = 0;
    // Input not answered yet: at most kMaxRequest bytes.
    std::string received;
    // When the connection goes unless its request completes, or its answer
    // leaves, first.
    double deadline = 0;
    // An answer has not been sent whole; no input is read meanwhile.
    bool answering = false;
    // Answered with "Connection: close": input is discarded; once the
    // answer is sent the client reads the end of the stream, and the
    // connection goes when the client closes its end or kRequestMs later.
    bool closing = false;
    // The client's address, as the listener saw it at the accept.
    std::string peer;
    // Inside SendData, which may raise SendComplete before it returns.
    bool sending = false;
    // Done with; destroyed from the event loop, never inside its own events.
    bool dead = false;

    // No answer on its way: at most a request not yet whole is lost when it
    // goes, and a client that keeps its head unfinished holds no place.
    bool MayGiveWay() const { return !dead && !answering; }
};

MetricsServer::MetricsServer(const MonitorMetrics& metrics, const StatusStore& store, int32_t port,
                             const std::string& address)
    : metrics_(metrics), store_(store), port_(port), address_(address)
{
    Listen();
    idleCheck_.setInterval(kRequestMs / 8);
    QObject::connect(&idleCheck_, &QTimer::timeout, &idleCheck_, [this] { CheckDeadlines(); });
}

// One listener for the endpoint's life, which holds its port throughout: a
// listener whose accept failed is closed, which keeps its port and its
// descriptor, and listens again on both, so that no other program can take
// the port meanwhile and no new descriptor is needed while they are short.
// A bind that failed leaves no socket, and the close leaves it closed.
void MetricsServer::Listen()
{
    if (!listener_) {
        listener_ = std::make_unique<CNetSocket>();
        listener_->SetHoldsPort(true);
        listener_->Events.ConnectionRequest = [this](int32_t requestID) { ConnectionRequest(requestID); };
        listener_->Events.Error = [this](int16_t number, std::string& description, int32_t, const std::string&,
                                         const std::string&, int32_t, bool&) {
            QMetaObject::invokeMethod(
                &idleCheck_, [this, number, description] { ListenerFailed(number, description); },
                Qt::QueuedConnection);
        };
    }
    if (listener_->State() != sckClosed)
        listener_->CloseSck();
    listener_->Bind(NetVariant(port_), address_.empty() ? NetVariant(int32_t{0}) : NetVariant(address_));
    listener_->Listen();
}

MetricsServer::~MetricsServer() = default;

void MetricsServer::ConnectionRequest(int32_t requestID)
{
    // A connection not taken is closed as soon as this returns.
    const std::string peer = listener_->RemoteHostIP();
    if (!MakeRoom(peer))
        return;
    connections_.push_back(std::make_unique<Connection>());
    Connection& c = *connections_.back();
    c.serial = ++nextSerial_;
    c.peer = peer;
    c.deadline = After(kRequestMs);
    c.socket->Events.DataArrival = [this, &c](int32_t) { DataArrival(c); };
    c.socket->Events.CloseSck = [this, &c] { Drop(c); };
    c.socket->Events.Error = [this, &c](int16_t, std::string&, int32_t, const std::string&, const std::string&, int32_t,
                                        bool&) { Drop(c); };
    c.socket->Events.SendComplete = [this, &c] {
        if (c.sending || c.dead)
            return;
        AnswerSent(c);
        if (!c.dead)
            Serve(c);
    };
    c.socket->SetReceiveLimit(static_cast<int32_t>(kMaxRequest));
    if (!idleCheck_.isActive())
        idleCheck_.start();
    try {
        c.socket->Accept(requestID);
    } catch (const RuntimeError&) {
        Drop(c);
    }
}

// A peer that holds its share gives up one of its own connections; at the
// limit anyone's may go. False when none of them may.
bool MetricsServer::MakeRoom(const std::string& peer)
{
    const auto ofPeer = [&peer](const Connection& c) { return !c.dead && c.peer == peer; };
    const auto live = [](const Connection& c) { return !c.dead; };
    const auto count = [this](const auto& among) {
        return static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(), [&](const auto& c) { return among(*c); }));
    };
    if (count(ofPeer) >= kMaxPerPeer)
        return GiveWay(ofPeer);
    if (count(live) >= kMaxConnections)
        return GiveWay(live);
    return true;
}

// The oldest connection `among` those without an answer on its way goes.
bool MetricsServer::GiveWay(const std::function<bool(const Connection&)>& among)
{
    const auto oldest = std::find_if(connections_.begin(), connections_.end(),
                                     [&](const auto& c) { return among(*c) && c->MayGiveWay(); });
    if (oldest == connections_.end())
        return false;
    Drop(**oldest);
    return true;
}

void MetricsServer::DataArrival(Connection& c)
{
    if (c.dead)
        return;
    std::string data;
    try {
        c.socket->GetData(data);
    } catch (const RuntimeError&) {
        Drop(c);
        return;
    }
    if (c.closing)
        return;
    c.received += data;
    Serve(c);
}

// Answers the request at the front of the input, if it is complete and the
// answer before it has left, and reads only as much further input as the
// connection may keep.
void MetricsServer::Serve(Connection& c)
{
    if (!c.answering && !c.closing) {
        HttpRequest request;
        switch (request.Parse(c.received)) {
        case HttpRequest::Status::Incomplete:
            break;
        case HttpRequest::Status::Bad:
            c.received.clear();
            Send(c, "HTTP/1.1", "400 Bad Request", "Bad Request\n", false, false);
            break;
        case HttpRequest::Status::Complete:
            c.received.erase(0, request.Length());
            Answer(c, request);
            if (!c.dead && !c.answering && !c.received.empty())
                ServeLater(c);
            break;
        }
    }
    if (c.dead)
        return;
    const size_t room = c.answering ? 0 : c.closing ? kMaxRequest : kMaxRequest - c.received.size();
    c.socket->SetReceiveLimit(static_cast<int32_t>(room));
}

// The next request waits for the next turn of the event loop, so a client
// with many requests in one piece holds up nobody else.
void MetricsServer::ServeLater(const Connection& c)
{
    QMetaObject::invokeMethod(
        &idleCheck_,
        [this, serial = c.serial] {
            for (const auto& connection : connections_)
                if (connection->serial == serial && !connection->dead)
                    Serve(*connection);
        },
        Qt::QueuedConnection);
}

void MetricsServer::Answer(Connection& c, const HttpRequest& request)
{
    // A body is not read, so it cannot be told from the next request.
    const bool keepAlive = request.KeepAlive() && !request.HasBody();
    const bool head = request.Method() == "HEAD";
    const std::string path = request.Target().substr(0, request.Target().find('?'));
    if (request.Method() != "GET" && !head)
        Send(c, request.Version(), "405 Method Not Allowed", "Method Not Allowed\n", false, keepAlive,
             "Allow: GET, HEAD\r\n");
    else if (path != "/metrics")
        Send(c, request.Version(), "404 Not Found", "Not Found\n", head, keepAlive);
    else
        Send(c, request.Version(), "200 OK", MetricsExposition(metrics_, store_), head, keepAlive);
}

void MetricsServer::Send(Connection& c, const std::string& version, const std::string& status, const std::string& body,
                         bool headOnly, bool keepAlive, const std::string& extraHeaders)
{
    const std::string type = status.rfind("200", 0) == 0 ? kMetricsType : "text/plain; charset=utf-8";
    const std::string answer = version + " " + status + "\r\nContent-Type: " + type
                             + "\r\nContent-Length: " + std::to_string(body.size())
                             + "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n" + extraHeaders
                             + "\r\n" + (headOnly ? std::string() : body);
    c.closing = !keepAlive;
    c.answering = true;
    c.deadline = After(kUnsentMs);
    if (c.closing)
        c.received.clear();
    c.sending = true;
    try {
        c.socket->SendData(NetVariant(answer));
    } catch (const RuntimeError&) {
        Drop(c);
    }
    c.sending = false;
    if (!c.dead && c.socket->GetOutBufferLength() == 0)
        AnswerSent(c);
}

// A connection ending after its answer first tells the client so and goes
// on reading, since closing with input unread would reset the connection and
// could cost the client the answer.
void MetricsServer::AnswerSent(Connection& c)
{
    c.answering = false;
    c.deadline = After(kRequestMs);
    if (!c.closing)
        return;
    try {
        c.socket->CloseSend();
    } catch (const RuntimeError&) {
        Drop(c);
    }
}

// The first failure in a while is tried again at once; one within two
// periods of the last waits a period, so that a failure that comes back at
// every accept does not keep the loop busy. Standard error hears of the
// first only.
void MetricsServer::ListenerFailed(int32_t number, const std::string& description)
{
    if (relistenAt_ > 0)
        return;
    const double now = CurrentClock().Now();
    const double since = now - lastFailure_;
    lastFailure_ = now;
    if (since > kQuietSeconds)
        ReportLine("metrics endpoint on port " + std::to_string(port_) + ": error " + std::to_string(number) + ": "
                   + description + " It listens again at once, then every " + std::to_string(kRelistenMs / 1000)
                   + " seconds until it can.");
    relistenAt_ = since < 2 * kRelistenMs / 1000.0 ? After(kRelistenMs) : now;
    if (!idleCheck_.isActive())
        idleCheck_.start();
    QMetaObject::invokeMethod(&idleCheck_, [this] { CheckDeadlines(); }, Qt::QueuedConnection);
}

void MetricsServer::Relisten()
{
    relistenAt_ = 0;
    try {
        Listen();
    } catch (const RuntimeError& error) {
        ListenerFailed(error.Number(), error.Description());
    }
}

// Closes the connection now, so its client learns at once; the object goes
// once the event loop runs again.
void MetricsServer::Drop(Connection& c)
{
    if (c.dead)
        return;
    c.dead = true;
    c.socket->Events = CNetSocket::EventHandlers{};
    try {
        c.socket->CloseSck();
    } catch (const RuntimeError&) {
        // The descriptor goes with the object.
    }
    QMetaObject::invokeMethod(&idleCheck_, [this] { CheckDeadlines(); }, Qt::QueuedConnection);
}

void MetricsServer::CheckDeadlines()
{
    const double now = CurrentClock().Now();
    if (relistenAt_ > 0 && now >= relistenAt_) {
        relistenAt_ = 0;
        QMetaObject::invokeMethod(&idleCheck_, [this] { Relisten(); }, Qt::QueuedConnection);
    }
    for (const auto& c : connections_)
        if (now > c->deadline)
            Drop(*c);
    connections_.remove_if([](const std::unique_ptr<Connection>& c) { return c->dead; });
    if (connections_.empty() && relistenAt_ == 0)
        idleCheck_.stop();
}
