// Two status servers, each on a socket and a timer of its own as the main
// window gives them, answering real clients on loopback from a stand-in
// store. Which printers get a server is the main window's load
// (frmMainTest).
#include "platform/SocketCalls.h"
#include "printer/CommandExchange.h"
#include "server/StatusServer.h"
#include "server/StatusStore.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <set>
#include <sys/socket.h>

namespace {

const std::string kStatusA("\x01\x00\x12\xF0", 4);
const std::string kStatusB("\x00\x04\x00\xF0", 4);

// The server of the printer with `index`, listening on a port of its own.
struct Server {
    Server(StatusStore& store, int16_t index) : handlers(store, socket, timer, "tcpServer1")
    {
        socket.SetTag(" " + std::to_string(index));
        socket.Bind(NetVariant(port), NetVariant(int32_t{0}));
        socket.Listen();
    }

    bool Reaches(int32_t state) { return PumpUntil([&] { return socket.State() == state; }, 10000); }

    // A new client gets `status`, though it ends its sending side right
    // after the request: both reach the server before it accepts.
    void ExpectServed(const std::string& status)
    {
        StatusClient next(port);
        next.Send(kStatusCommand);
        shutdown(next.Descriptor(), SHUT_WR);
        EXPECT_EQ(next.Receive(4, 10000), status);
    }

    const int32_t port = FreeLoopbackPort();
    CNetSocket socket;
    QTimer timer;
    StatusServer handlers;
};

class StatusServerTest : public ::testing::Test, public StatusStore {
protected:
    const std::string& StoredStatus(int16_t index) const override { return stored_.at(static_cast<size_t>(index)); }
    void StatusRequestAnswered(int32_t port) override { answered_.push_back(port); }

    std::vector<std::string> stored_{kStatusA, kStatusB};
    std::vector<int32_t> answered_;
    Server one_{*this, 0};
    Server two_{*this, 1};
};

TEST_F(StatusServerTest, EachServerAnswersEveryRequestWithItsPrintersStatusAsStoredNow)
{
    StatusClient one(one_.port);
    StatusClient two(two_.port);
    two.Send(kStatusCommand);
    one.Send(kStatusCommand);
    EXPECT_EQ(two.Receive(4, 10000), kStatusB);
    EXPECT_EQ(one.Receive(4, 10000), kStatusA);
    stored_[0] = kStatusB;
    one.Send(kStatusCommand);
    EXPECT_EQ(one.Receive(4, 10000), kStatusB) << "each answer comes from the store as it is now";
    EXPECT_EQ(std::multiset<int32_t>(answered_.begin(), answered_.end()),
              (std::multiset<int32_t>{one_.port, one_.port, two_.port})) << "each answer counted for its port";
    EXPECT_FALSE(one.ClosedWithin(200)) << "answering does not end the connection";
}

TEST_F(StatusServerTest, AnythingButExactlyOneRequestGetsNoAnswer)
{
    StatusClient client(one_.port);
    const std::pair<std::string, const char*> chunks[] = {
        {std::string("\x1D", 1), "first half of a split request"},
        {std::string("\x61\x01", 2), "second half of a split request"},
        {kStatusCommand + kStatusCommand, "two requests in one read"},
        {kStatusCommand + "x", "a request with a trailing byte"},
        {std::string("\x1D\x41\x01", 3), "a request in another letter case"}};
    for (const auto& [chunk, what] : chunks) {
        client.Send(chunk);
        EXPECT_EQ(client.Receive(1, 300), "") << what;
    }
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(4, 10000), kStatusA) << "the connection is still served";

    stored_[0].clear();
    answered_.clear();
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(1, 400), "") << "before the first good poll there is nothing to answer";
    EXPECT_TRUE(answered_.empty()) << "nor anything to count";
    EXPECT_FALSE(client.ClosedWithin(100));
}

TEST_F(StatusServerTest, AClientIsDroppedFiveSecondsAfterTheAcceptWhateverItAsksAndThePortListensAgain)
{
    StatusClient client(one_.port);
    ASSERT_TRUE(one_.Reaches(sckConnected));
    EXPECT_FALSE(client.ClosedWithin(4000)) << "dropped early";
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(4, 1000), kStatusA);
    EXPECT_TRUE(client.ClosedWithin(2000)) << "an answer must not put off the drop five seconds after the accept";
    EXPECT_EQ(one_.socket.State(), sckListening);
    EXPECT_FALSE(one_.timer.isActive());
    one_.ExpectServed(kStatusA);
}

TEST_F(StatusServerTest, OneClientAtATimeAndAfterAnEarlyCloseAFailedAcceptOrAStrayTickTheServerListensAgain)
{
    {
        StatusClient client(one_.port);
        ASSERT_TRUE(one_.Reaches(sckConnected));
        EXPECT_FALSE(StatusClient(one_.port).Connected()) << "a second client while one is served";
        two_.ExpectServed(kStatusB);
        client.Send(kStatusCommand);
        EXPECT_EQ(client.Receive(4, 10000), kStatusA);
    }
    ASSERT_TRUE(one_.Reaches(sckListening));
    EXPECT_FALSE(one_.timer.isActive()) << "the timer must not fire for a connection that has ended";
    one_.ExpectServed(kStatusA);

    // The process out of descriptors must not leave the port dead, nor
    // another socket that cannot be made meanwhile.
    ASSERT_TRUE(one_.Reaches(sckListening));
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10024);
    SocketCalls::FailNext(SocketCalls::Call::Create, 10024);
    StatusClient lost(one_.port);
    EXPECT_TRUE(lost.ClosedWithin(10000));
    ASSERT_TRUE(one_.Reaches(sckListening));

    // A listen refused when the server listens again is tried again.
    SocketCalls::FailNext(SocketCalls::Call::Listen, 10048);
    testing::internal::CaptureStderr();
    one_.timer.start(1);
    EXPECT_TRUE(PumpUntil([&] { return !one_.timer.isActive() && one_.socket.State() == sckListening; }, 10000));
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("error 10048"), std::string::npos) << told;

    // A tick of the connection timer on a listening server binds and listens again.
    one_.timer.start(1);
    ASSERT_TRUE(PumpUntil([&] { return !one_.timer.isActive(); }, 10000));
    EXPECT_EQ(one_.socket.State(), sckListening);
    one_.ExpectServed(kStatusA);
}

}  // namespace
