#include "server/StatusServer.h"

#include "platform/SocketCalls.h"
#include "platform/StandardError.h"
#include "runtime/Conversions.h"
#include "runtime/PrinterProtocol.h"
#include "runtime/RuntimeError.h"
#include "server/StatusStore.h"
#include "socket/CNetSocket.h"

#include <QTimer>

namespace {
constexpr int kConnectionTimeMs = 5000;
}  // namespace

StatusServer::StatusServer(StatusStore& store, CNetSocket& server, QTimer& timer, std::string name,
                           std::string address)
    : store_(store), server_(server), timer_(timer), name_(std::move(name)), address_(std::move(address))
{
    server_.SetHoldsPort(true);
    timer_.setInterval(kConnectionTimeMs);
    timer_.setSingleShot(false);
    server_.Events.ConnectionRequest = [this](int32_t requestID) { ConnectionRequest(requestID); };
    server_.Events.DataArrival = [this](int32_t bytesTotal) { DataArrival(bytesTotal); };
    server_.Events.CloseSck = [this] { CloseSck(); };
    server_.Events.Error = [this](int16_t number, std::string& description, int32_t, const std::string& source,
                                  const std::string&, int32_t, bool&) { Error(number, source, description); };
    tick_ = QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Timer(); });
}

StatusServer::~StatusServer()
{
    timer_.stop();
    QObject::disconnect(tick_);
    server_.Events = CNetSocket::EventHandlers{};
}

// The handlers catch no errors of their own; this reports one and lets the
// rest of the monitor go on.
template <typename Handler>
void StatusServer::Run(const char* event, Handler&& handler)
{
    try {
        handler();
    } catch (const RuntimeError& error) {
        ReportLine(name_ + "_" + event + ": error " + std::to_string(error.Number()) + " in " + error.Source() + ": "
                   + error.Description());
        const int32_t state = server_.State();
        if (state != sckListening && state != sckConnected)
            ListenAgainSoon();
    }
}

// A failure the socket found on its own: an accept that failed leaves the
// listening socket in its error state, a reset leaves the client's. While
// the connection timer runs, its tick closes what is left and listens
// again; a reset, the client's own way of leaving, is not told.
void StatusServer::Error(int16_t number, const std::string& source, const std::string& description)
{
    if (timer_.isActive() && (number == WSAECONNRESET || number == WSAECONNABORTED))
        return;
    ReportLine(name_ + "_Error: error " + std::to_string(number) + " in " + source + ": " + description);
    if (!timer_.isActive())
        ListenAgainSoon();
}

// The connection timer's tick closes what is left and listens again.
void StatusServer::ListenAgainSoon()
{
    timer_.start(recovering_ ? kConnectionTimeMs : 0);
    recovering_ = true;
}

void StatusServer::ConnectionRequest(int32_t requestID)
{
    Run("ConnectionRequest", [&] {
        // The listening socket closes and the client is taken into the same
        // object; it is dropped five seconds from now at the latest.
        if (server_.State() != sckClosed)
            server_.CloseSck();
        server_.Accept(requestID);
        timer_.start(kConnectionTimeMs);
    });
}

void StatusServer::DataArrival(int32_t)
{
    Run("DataArrival", [&] {
        // The request is recognised only when it is exactly everything that
        // has arrived.
        std::string data;
        server_.GetData(data);
        if (data != PrinterProtocol::kStatusRequest)
            return;
        const int16_t index = RoundToInt16(LeadingNumber(server_.Tag()));
        const std::string& status = store_.StoredStatus(index);
        server_.SendData(NetVariant(status));
        if (!status.empty())
            store_.StatusRequestAnswered(server_.LocalPort());
    });
}

void StatusServer::CloseSck()
{
    // The close ends the socket closed, or raises why it could not.
    Run("CloseSck", [&] {
        server_.CloseSck();
        Relisten();
    });
}

void StatusServer::Timer()
{
    Run("Timer", [&] {
        if (server_.State() != sckClosed)
            server_.CloseSck();
        Relisten();
    });
}

void StatusServer::Relisten()
{
    timer_.stop();
    server_.Bind(NetVariant(server_.LocalPort()), address_.empty() ? NetVariant(int32_t{0}) : NetVariant(address_));
    server_.Listen();
    recovering_ = false;
}
