// The status servers of a loaded main window with real clients on loopback.
#include "printer/CommandExchange.h"
#include "platform/SocketCalls.h"
#include "socket/CNetSocket.h"
#include "support/LoadedForm.h"
#include "support/StatusClient.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

const std::string kStatusA("\x01\x00\x12\xF0", 4);
const std::string kStatusB("\x00\x04\x00\xF0", 4);

class StatusServerTest : public ::testing::Test {
protected:
    // Printer 1 served on port1_, printer 2 on port2_, both USB (never polled here).
    void SetUp() override
    {
        Load(ServedUsbPrintersIni({port1_, port2_}));
        form_->PrinterTable[0].StatusBytes = kStatusA;
        form_->PrinterTable[1].StatusBytes = kStatusB;
    }

    void Load(const std::string& ini)
    {
        form_.reset();
        form_ = LoadForm(dir_, ini);
    }

    bool ServerState(int32_t state) const
    {
        return PumpUntil([&] { return form_->tcpServer1->State() == state; }, 2000);
    }

    // A new client on `port` gets `status`.
    static void ExpectServed(int32_t port, const std::string& status)
    {
        StatusClient next(port);
        next.Send(kStatusCommand);
        EXPECT_EQ(next.Receive(4, 3000), status);
    }

    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    const int32_t port1_ = FreeLoopbackPort();
    const int32_t port2_ = FreeLoopbackPort();
};

TEST_F(StatusServerTest, EachServerAnswersEveryRequestWithItsPrintersStatusAsStoredNow)
{
    StatusClient one(port1_);
    StatusClient two(port2_);
    two.Send(kStatusCommand);
    one.Send(kStatusCommand);
    EXPECT_EQ(two.Receive(4, 3000), kStatusB);
    EXPECT_EQ(one.Receive(4, 3000), kStatusA);
    one.Send(kStatusCommand);
    EXPECT_EQ(one.Receive(4, 3000), kStatusA);
    form_->PrinterTable[0].StatusBytes = kStatusB;
    one.Send(kStatusCommand);
    EXPECT_EQ(one.Receive(4, 3000), kStatusB) << "each answer comes from the store as it is now";
    EXPECT_FALSE(one.ClosedWithin(200)) << "answering does not end the connection";
}

TEST_F(StatusServerTest, AnythingButExactlyOneRequestGetsNoAnswer)
{
    StatusClient client(port1_);
    const std::pair<std::string, const char*> chunks[] = {
        {std::string("\x1D", 1), "first half of a split request"},
        {std::string("\x61\x01", 2), "second half of a split request"},
        {kStatusCommand + kStatusCommand, "two requests in one read"},
        {kStatusCommand + "x", "a request with a trailing byte"},
        {std::string("\x1D\x41\x01", 3), "a request in another letter case"}};
    for (const auto& [chunk, what] : chunks) {
        client.Send(chunk);
        EXPECT_EQ(client.ReceiveFor(300), "") << what;
    }
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(4, 3000), kStatusA) << "the connection is still served";

    form_->PrinterTable[0].StatusBytes.clear();
    client.Send(kStatusCommand);
    EXPECT_EQ(client.ReceiveFor(400), "") << "before the first good poll there is nothing to answer";
    EXPECT_FALSE(client.ClosedWithin(100));
}

TEST_F(StatusServerTest, AClientIsDroppedFiveSecondsAfterTheAcceptAndThePortListensAgain)
{
    StatusClient client(port1_);
    ASSERT_TRUE(ServerState(sckConnected));
    EXPECT_TRUE(form_->Timer1->isActive() && form_->Timer1->interval() == 5000) << "five seconds, to the millisecond";
    EXPECT_FALSE(client.ClosedWithin(4000)) << "dropped early";
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(4, 1000), kStatusA);
    EXPECT_TRUE(client.ClosedWithin(2000)) << "an answer must not put off the drop five seconds after the accept";
    EXPECT_EQ(form_->tcpServer1->State(), sckListening);
    EXPECT_FALSE(form_->Timer1->isActive());
    ExpectServed(port1_, kStatusA);
}

TEST_F(StatusServerTest, ASecondClientIsRefusedWhileOneIsServedAndTheOtherServerGoesOn)
{
    StatusClient first(port1_);
    ASSERT_TRUE(ServerState(sckConnected));
    EXPECT_EQ(form_->tcpServer1->RemoteHostIP(), "127.0.0.1") << "the server shows its client";
    StatusClient second(port1_);
    EXPECT_FALSE(second.Connected());

    StatusClient other(port2_);
    other.Send(kStatusCommand);
    EXPECT_EQ(other.Receive(4, 3000), kStatusB);
    first.Send(kStatusCommand);
    EXPECT_EQ(first.Receive(4, 3000), kStatusA);
}

TEST_F(StatusServerTest, AClientClosingEarlyLetsTheServerListenAgainAtOnce)
{
    {
        StatusClient client(port1_);
        ASSERT_TRUE(ServerState(sckConnected));
    }
    ASSERT_TRUE(ServerState(sckListening));
    EXPECT_FALSE(form_->Timer1->isActive()) << "the timer must not fire for a connection that has ended";
    ExpectServed(port1_, kStatusA);

    // An accept that fails (the process out of descriptors) must not leave the port dead.
    ASSERT_TRUE(ServerState(sckListening));
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10024);
    StatusClient lost(port1_);
    EXPECT_TRUE(lost.ClosedWithin(3000));
    ASSERT_TRUE(ServerState(sckListening));
    ExpectServed(port1_, kStatusA);
}

TEST_F(StatusServerTest, ARequestFollowedAtOnceByACloseIsStillAnswered)
{
    // The request and the close both reach the server before it accepts.
    StatusClient client(port1_);
    client.Send(kStatusCommand);
    shutdown(client.Descriptor(), SHUT_WR);
    EXPECT_EQ(client.Receive(4, 3000), kStatusA);
    ASSERT_TRUE(ServerState(sckListening));

    // A tick of the connection timer on a listening server binds and listens again.
    form_->Timer1->start(1);
    ASSERT_TRUE(PumpUntil([&] { return !form_->Timer1->isActive(); }, 2000));
    EXPECT_EQ(form_->tcpServer1->State(), sckListening);
    ExpectServed(port1_, kStatusA);
}

TEST_F(StatusServerTest, OnlyTheFirstTwoPrintersWithAValidPortAreServed)
{
    const int32_t port3 = FreeLoopbackPort();
    Load(ServedUsbPrintersIni({0, port1_, port2_, port3}));
    EXPECT_EQ(form_->tcpServer1->Tag(), " 1");
    EXPECT_EQ(form_->tcpServer2->Tag(), " 2");
    StatusClient unserved(port3);
    EXPECT_FALSE(unserved.Connected());
    form_->PrinterTable[1].StatusBytes = kStatusB;
    ExpectServed(port1_, kStatusB);

    Load("[Printer1]\nPort=-1\n");
    EXPECT_EQ(form_->tcpServer1->State(), sckClosed) << "a server without a printer stays closed";
    EXPECT_EQ(form_->tcpServer2->State(), sckClosed);
}

}  // namespace
