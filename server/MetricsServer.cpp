#include "server/MetricsServer.h"

#include "runtime/RuntimeError.h"
#include "platform/Clock.h"
#include "platform/StandardError.h"
#include "server/MetricsExposition.h"
#include "socket/CNetSocket.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

const std::string kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// "METHOD TARGET HTTP/1.x"; false for anything else.
bool ParseRequestLine(const std::string& line, std::string& method, std::string& target, std::string& version)
{
    std::istringstream words(line);
    std::string extra;
    if (!(words >> method >> target >> version) || (words >> extra))
        return false;
    const bool token = std::all_of(method.begin(), method.end(), [](unsigned char c) { return std::isupper(c); });
    const bool printable = std::all_of(target.begin(), target.end(), [](unsigned char c) { return c > ' ' && c < 127; });
    return token && printable && (version == "HTTP/1.0" || version == "HTTP/1.1");
}

}  // namespace

struct MetricsServer::Connection {
    std::unique_ptr<CNetSocket> socket = std::make_unique<CNetSocket>();
    std::string received;
    // When the connection goes unless a request completes first.
    double deadline = 0;
    // Answered with "Connection: close": it goes once the answer is sent.
    bool closing = false;
    // Done with; destroyed from the event loop, never inside its own events.
    bool dead = false;
};

MetricsServer::MetricsServer(const frmMain& form, int32_t port, const std::string& address)
    : form_(form), listener_(std::make_unique<CNetSocket>()), address_(address)
{
    listener_->Events.ConnectionRequest = [this](int32_t requestID) { ConnectionRequest(requestID); };
    // A failed accept (too many open files, say) leaves the listener in its
    // error state; it listens again on the same port.
    listener_->Events.Error = [this](int16_t, std::string&, int32_t, const std::string&, const std::string&, int32_t,
                                     bool&) {
        QMetaObject::invokeMethod(&idleCheck_, [this] { Relisten(); }, Qt::QueuedConnection);
    };
    listener_->Bind(NetVariant(port), address.empty() ? NetVariant(int32_t{0}) : NetVariant(address));
    listener_->Listen();
    idleCheck_.setInterval(kIdleMs / 10);
    QObject::connect(&idleCheck_, &QTimer::timeout, &idleCheck_, [this] { DropIdle(); });
}

MetricsServer::~MetricsServer() = default;

void MetricsServer::ConnectionRequest(int32_t requestID)
{
    const auto live = std::count_if(connections_.begin(), connections_.end(), [](const auto& c) { return !c->dead; });
    // A connection not taken is closed as soon as this returns.
    if (static_cast<size_t>(live) >= kMaxConnections)
        return;
    connections_.push_back(std::make_unique<Connection>());
    Connection& c = *connections_.back();
    c.deadline = CurrentClock().Now() + kIdleMs / 1000.0;
    c.socket->Events.DataArrival = [this, &c](int32_t) { DataArrival(c); };
    c.socket->Events.CloseSck = [this, &c] { Drop(c); };
    c.socket->Events.Error = [this, &c](int16_t, std::string&, int32_t, const std::string&, const std::string&, int32_t,
                                        bool&) { Drop(c); };
    c.socket->Events.SendComplete = [this, &c] {
        if (c.closing)
            Drop(c);
    };
    idleCheck_.start();
    try {
        c.socket->Accept(requestID);
    } catch (const RuntimeError&) {
        Drop(c);
    }
}

void MetricsServer::DataArrival(Connection& c)
{
    if (c.dead || c.closing)
        return;
    std::string data;
    try {
        c.socket->GetData(data);
    } catch (const RuntimeError&) {
        Drop(c);
        return;
    }
    c.received += data;
    // Every complete request in turn; a bad or overlong one ends the connection.
    while (!c.dead && !c.closing) {
        const size_t lineEnd = c.received.find("\r\n");
        const size_t headEnd = c.received.find("\r\n\r\n");
        std::string method, target, version;
        const bool badLine =
            lineEnd != std::string::npos && !ParseRequestLine(c.received.substr(0, lineEnd), method, target, version);
        const bool tooLong = headEnd == std::string::npos ? c.received.size() > kMaxRequest : headEnd + 4 > kMaxRequest;
        if (badLine || tooLong) {
            Send(c, "400 Bad Request", "Bad Request\n", false, "HTTP/1.1", false);
            return;
        }
        if (headEnd == std::string::npos)
            return;
        const std::string requestLine = c.received.substr(0, lineEnd);
        const std::string headers = Lower(c.received.substr(lineEnd, headEnd - lineEnd + 2));
        c.received.erase(0, headEnd + 4);
        Answer(c, requestLine, headers);
    }
}

void MetricsServer::Answer(Connection& c, const std::string& requestLine, const std::string& headers)
{
    std::string method, target, version;
    ParseRequestLine(requestLine, method, target, version);
    const bool closeAsked = headers.find("\r\nconnection: close") != std::string::npos
                         || headers.find("\r\nconnection:close") != std::string::npos;
    const bool keepAlive = version == "HTTP/1.1" && !closeAsked;
    const std::string path = target.substr(0, target.find('?'));
    if (method != "GET" && method != "HEAD")
        Send(c, "405 Method Not Allowed", "Method Not Allowed\n", false, version, keepAlive, "Allow: GET, HEAD\r\n");
    else if (path != "/metrics")
        Send(c, "404 Not Found", "Not Found\n", method == "HEAD", version, keepAlive);
    else
        Send(c, "200 OK", MetricsExposition(form_), method == "HEAD", version, keepAlive);
}

void MetricsServer::Send(Connection& c, const std::string& status, const std::string& body, bool headOnly,
                         const std::string& version, bool keepAlive, const std::string& extraHeaders)
{
    const std::string type = status.rfind("200", 0) == 0 ? kMetricsType : "text/plain; charset=utf-8";
    const std::string answer = version + " " + status + "\r\nContent-Type: " + type
                             + "\r\nContent-Length: " + std::to_string(body.size())
                             + "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n" + extraHeaders
                             + "\r\n" + (headOnly ? std::string() : body);
    c.closing = !keepAlive;
    c.deadline = CurrentClock().Now() + kIdleMs / 1000.0;
    try {
        c.socket->SendData(NetVariant(answer));
    } catch (const RuntimeError&) {
        Drop(c);
        return;
    }
    if (!c.dead && c.closing && c.socket->GetOutBufferLength() == 0)
        Drop(c);
}

void MetricsServer::Relisten()
{
    const int32_t port = listener_->LocalPort();
    try {
        listener_->CloseSck();
        listener_->Bind(NetVariant(port), address_.empty() ? NetVariant(int32_t{0}) : NetVariant(address_));
        listener_->Listen();
    } catch (const RuntimeError& error) {
        ReportLine("metrics endpoint on port " + std::to_string(port) + ": error " + std::to_string(error.Number())
                   + ": " + error.Description() + " It serves no more until the monitor starts again.");
    }
}

// Closes the connection now; the object goes once the event loop runs again.
void MetricsServer::Drop(Connection& c)
{
    if (c.dead)
        return;
    c.dead = true;
    c.socket->Events = CNetSocket::EventHandlers{};
    QMetaObject::invokeMethod(&idleCheck_, [this] { DropIdle(); }, Qt::QueuedConnection);
}

void MetricsServer::DropIdle()
{
    const double now = CurrentClock().Now();
    connections_.remove_if([now](const std::unique_ptr<Connection>& c) { return c->dead || now > c->deadline; });
    if (connections_.empty())
        idleCheck_.stop();
}
