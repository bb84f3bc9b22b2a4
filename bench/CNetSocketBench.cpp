// Loopback request-and-answer round trip: the monitor's status exchange (a
// three-byte request, a four-byte answer) between two CNetSocket objects
// driven by the event loop, against the same exchange over plain blocking
// sockets in the same run. Prints both times and their ratio.
#include "runtime/PrinterProtocol.h"
#include "platform/EventPump.h"
#include "platform/SocketCalls.h"
#include "socket/CNetSocket.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kRequest(PrinterProtocol::kStatusRequest);
// A printer whose cutter failed.
const std::string kAnswer = [] {
    std::string answer(PrinterProtocol::kAllWell);
    answer[0] = static_cast<char>(PrinterProtocol::kConditions[PrinterProtocol::CutterError].mask);
    return answer;
}();
const uint32_t kLoopback = htonl(0x7F000001);

[[noreturn]] void Die(const char* what)
{
    std::fprintf(stderr, "CNetSocketBench: %s\n", what);
    std::exit(1);
}

void PumpUntil(const bool& done)
{
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done) {
        if (Clock::now() > deadline)
            Die("no answer within 10 s");
        WaitForEvents(100);
    }
}

// Microseconds per round trip between a client and an accepted CNetSocket.
double CNetSocketRoundTrip(int exchanges)
{
    CNetSocket listener;
    CNetSocket server;
    CNetSocket client;
    listener.Events.ConnectionRequest = [&](int32_t requestID) { server.Accept(requestID); };
    server.Events.DataArrival = [&](int32_t) {
        std::string request;
        server.GetData(request);
        server.SendData(kAnswer);
    };
    bool answered = false;
    client.Events.DataArrival = [&](int32_t) {
        std::string answer;
        client.GetData(answer);
        answered = answer.size() == kAnswer.size();
    };
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    client.Connect("127.0.0.1", listener.LocalPort());
    bool connected = false;
    client.Events.Connect = [&] { connected = true; };
    PumpUntil(connected);

    auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        answered = false;
        client.SendData(kRequest);
        PumpUntil(answered);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / exchanges;
}

void Check(int32_t error, const char* call)
{
    if (error != 0) {
        std::fprintf(stderr, "CNetSocketBench: %s failed with %d\n", call, error);
        std::exit(1);
    }
}

void ExchangeExactly(int32_t from, int32_t to, const std::string& bytes)
{
    size_t sent = 0;
    Check(SocketCalls::Send(from, bytes.data(), bytes.size(), sent), "send");
    char buffer[16];
    size_t total = 0;
    while (total < bytes.size()) {
        size_t received = 0;
        Check(SocketCalls::Recv(to, buffer + total, bytes.size() - total, received), "recv");
        if (received == 0)
            Die("connection closed");
        total += received;
    }
}

// Microseconds per round trip of the same exchange over blocking sockets.
double BlockingRoundTrip(int exchanges)
{
    int32_t listener = -1;
    int32_t client = -1;
    int32_t server = -1;
    Check(SocketCalls::Create(false, listener), "socket");
    Check(SocketCalls::Bind(listener, {kLoopback, 0}), "bind");
    Check(SocketCalls::Listen(listener, 5), "listen");
    SocketCalls::Address address;
    Check(SocketCalls::LocalName(listener, address), "getsockname");
    Check(SocketCalls::Create(false, client), "socket");
    Check(SocketCalls::Connect(client, address), "connect");
    Check(SocketCalls::Accept(listener, server), "accept");

    auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        ExchangeExactly(client, server, kRequest);
        ExchangeExactly(server, client, kAnswer);
    }
    double perExchange = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / exchanges;
    for (int32_t handle : {client, server, listener})
        SocketCalls::Close(handle);
    return perExchange;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (exchanges <= 0)
        Die("the number of exchanges must be positive");

    CNetSocketRoundTrip(exchanges / 10 + 1);
    BlockingRoundTrip(exchanges / 10 + 1);
    double socketObjects = CNetSocketRoundTrip(exchanges);
    double blocking = BlockingRoundTrip(exchanges);

    std::printf("loopback request-and-answer round trip, %d exchanges each\n", exchanges);
    std::printf("CNetSocket objects (event loop): %8.2f us\n", socketObjects);
    std::printf("plain blocking sockets:          %8.2f us\n", blocking);
    std::printf("ratio CNetSocket / blocking:     %8.2f\n", socketObjects / blocking);
    return 0;
}
