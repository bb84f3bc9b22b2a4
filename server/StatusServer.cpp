#include "server/StatusServer.h"

#include "platform/EventPump.h"
#include "platform/StandardError.h"
#include "runtime/Conversions.h"
#include "runtime/RuntimeError.h"
#include "server/StatusStore.h"
#include "socket/CNetSocket.h"

#include <QTimer>

namespace {
const std::string kStatusRequest("\x1D\x61\x01", 3);
constexpr int kConnectionTimeMs = 5000;
}  // namespace

StatusServer::StatusServer(StatusStore& store, CNetSocket& server, QTimer& timer, std::string name)
    : store_(store), server_(server), timer_(timer), name_(std::move(name))
{
    timer_.setInterval(kConnectionTimeMs);
    timer_.setSingleShot(false);
    server_.Events.ConnectionRequest = [this](int32_t requestID) { ConnectionRequest(requestID); };
    server_.Events.DataArrival = [this](int32_t bytesTotal) { DataArrival(bytesTotal); };
    server_.Events.CloseSck = [this] { CloseSck(); };
    // A failed accept leaves the listening socket in its error state.
    server_.Events.Error = [this](int16_t number, std::string& description, int32_t, const std::string& source,
                                  const std::string&, int32_t, bool&) {
        Report(name_ + "_Error: error " + std::to_string(number) + " in " + source + ": " + description);
        ListenAgainSoon();
    };
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
        Report(name_ + "_" + event + ": error " + std::to_string(error.Number()) + " in " + error.Source() + ": "
               + error.Description());
        const int32_t state = server_.State();
        if (state != sckListening && state != sckConnected)
            ListenAgainSoon();
    }
}

// The connection timer's tick closes what is left and listens again.
void StatusServer::ListenAgainSoon()
{
    timer_.start(recovering_ ? kConnectionTimeMs : 0);
    recovering_ = true;
}

void StatusServer::Report(const std::string& text)
{
    if (text == lastReport_)
        return;
    lastReport_ = text;
    ReportLine(text);
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
        if (data != kStatusRequest)
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
    Run("CloseSck", [&] {
        server_.CloseSck();
        while (server_.State() != sckClosed)
            DoEvents();
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
    server_.Bind(NetVariant(server_.LocalPort()), NetVariant(int32_t{0}));
    server_.Listen();
    recovering_ = false;
    lastReport_.clear();
}
