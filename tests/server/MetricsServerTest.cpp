// The metrics endpoint's limits over real loopback connections, with its
// deadlines on the injected clock: a connection goes two seconds after its
// accept or its last answer unless a request completes first, an answer left
// unsent for five seconds ends the connection, a client that never reads is
// held back by its own buffers, connections without an answer on its way
// give way to new ones, and a failed listener is replaced.
#include "server/MetricsServer.h"
#include "server/MonitorMetrics.h"
#include "platform/EventPump.h"
#include "server/StatusStore.h"
#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"
#include "support/FakeClock.h"
#include "support/StatusClient.h"

#include <gtest/gtest.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

// An endpoint of its own over no printers. Real time, which the loopback
// connections take, is given generous bounds where a test waits for an
// outcome; the deadlines run on the injected clock.
struct Endpoint : StatusStore {
    const std::string& StoredStatus(int16_t) const override { return none; }
    void StatusRequestAnswered(int32_t) override {}

    FakeClock clock;
    MonitorMetrics metrics;
    std::string none;
    const int32_t port = FreeLoopbackPort();
    MetricsServer server{metrics, *this, port, "127.0.0.1"};
};

// Whether `client` is answered 200 OK within the real-time bound.
bool AnsweredOk(StatusClient& client)
{
    std::string answer;
    return PumpUntil([&] { return (answer += client.ReadAvailable()).find("HTTP/1.1 200 OK") != std::string::npos; }, 10000);
}

const std::string kScrape = "GET /metrics HTTP/1.1\r\n\r\n";

TEST(MetricsServerTest, AConnectionWithoutACompleteRequestGoesTwoSecondsAfterItsAcceptOrItsLastAnswer)
{
    Endpoint e;
    StatusClient slow(e.port);
    StatusClient kept(e.port);
    ASSERT_TRUE(slow.Connected() && kept.Connected());
    slow.Send("GET /metrics HTTP/1.1\r\n");
    EXPECT_FALSE(slow.ClosedWithin(300)) << "both are accepted";
    e.clock.Advance(1.5);
    kept.Send(kScrape);
    EXPECT_TRUE(AnsweredOk(kept));
    EXPECT_FALSE(slow.ClosedWithin(300)) << "no time-out before two seconds";
    e.clock.Advance(0.6);
    EXPECT_TRUE(slow.ClosedWithin(10000)) << "an incomplete request is dropped";
    EXPECT_FALSE(kept.ClosedWithin(300)) << "an answer starts the two seconds again";
    e.clock.Advance(1.5);
    EXPECT_TRUE(kept.ClosedWithin(10000)) << "an idle kept connection is dropped";
}

TEST(MetricsServerTest, AClientThatSendsWithoutReadingIsHeldBackAndGoesFiveSecondsAfterItsAnswerStopped)
{
    Endpoint e;
    StatusClient flood(e.port);
    std::string requests;
    for (int i = 0; i < 4096; ++i)
        requests += kScrape;
    auto sendMore = [&] { return send(flood.Descriptor(), requests.data(), requests.size(), MSG_DONTWAIT | MSG_NOSIGNAL); };
    auto received = [&] {
        int bytes = 0;
        ioctl(flood.Descriptor(), FIONREAD, &bytes);
        return bytes;
    };
    // The endpoint answers one request per turn of the event loop, and a
    // notification takes a few turns to become an answer, so it is held back
    // by its unsent answer once many turns in a row move no byte either way;
    // a slow machine only takes more turns to get there.
    size_t sent = 0;
    for (int quiet = 0; quiet < 50 && sent < (64u << 20);) {
        const int before = received();
        const ssize_t n = sendMore();
        sent += n > 0 ? static_cast<size_t>(n) : 0;
        DoEvents();
        quiet = n <= 0 && received() == before ? quiet + 1 : 0;
    }
    EXPECT_LT(sent, 64u << 20) << "the monitor reads no more while its answer waits";
    auto reset = [&](int ms) { return PumpUntil([&] { return sendMore() < 0 && errno != EAGAIN; }, ms); };
    e.clock.Advance(4.5);
    EXPECT_FALSE(reset(300));
    e.clock.Advance(0.6);
    EXPECT_TRUE(reset(10000)) << "an answer unsent for five seconds ends the connection";
}

TEST(MetricsServerTest, AtTheLimitsTheOldestConnectionWithoutAnAnswerOnItsWayGivesWay)
{
    Endpoint e;
    // Connected one at a time, each accepted before the next, so that their
    // order is known.
    const size_t sockets = modNetSocket::SocketTable().size();
    auto accepted = [&](size_t count) { return PumpUntil([&] { return modNetSocket::SocketTable().size() == sockets + count; }); };
    std::vector<std::unique_ptr<StatusClient>> held;
    for (size_t i = 0; i <= MetricsServer::kMaxPerPeer && (i == 0 || accepted(i)); ++i)
        held.push_back(std::make_unique<StatusClient>(e.port));
    EXPECT_TRUE(held.front()->ClosedWithin(10000)) << "one address holds only a few";
    (*held.erase(held.begin()))->Send("GET /metrics");
    for (uint32_t from = 0x7f000002; held.size() < MetricsServer::kMaxConnections; ++from)
        ASSERT_TRUE(held.emplace_back(std::make_unique<StatusClient>(e.port, from))->Send(kScrape) && AnsweredOk(*held.back()));
    StatusClient scraper(e.port, 0x7f0000ff);
    scraper.Send(kScrape);
    EXPECT_TRUE(AnsweredOk(scraper));
    EXPECT_TRUE(held[0]->ClosedWithin(10000)) << "the oldest gave way, its request head unfinished";
    held[0] = std::make_unique<StatusClient>(e.port, 0x7f0000fe);
    EXPECT_TRUE(held[1]->ClosedWithin(10000)) << "and so on as they come back";
    EXPECT_FALSE(held[2]->ClosedWithin(300));
    scraper.Send(kScrape);
    EXPECT_TRUE(AnsweredOk(scraper));
}

TEST(MetricsServerTest, AFailedListenerListensAgainAtOnceThenEveryFiveSecondsWhileItFails)
{
    Endpoint e;
    auto answered = [&](int ms) { StatusClient s(e.port); return s.Send(kScrape) && s.Receive(15, ms).starts_with("HTTP/1.1 200"); };
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10024);
    EXPECT_TRUE(StatusClient(e.port).ClosedWithin(10000) && answered(10000)) << "the failed listener listens again";
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10024);
    EXPECT_FALSE(answered(300)) << "a failure soon after another waits";
    SocketCalls::FailNext(SocketCalls::Call::Listen, 10048);
    e.clock.Advance(5.1);
    EXPECT_FALSE(PumpUntil([&] { return answered(100); }, 1000)) << "a failed try is tried again five seconds later";
    e.clock.Advance(5.1);
    EXPECT_TRUE(PumpUntil([&] { return answered(1000); }, 10000));
}

}  // namespace
