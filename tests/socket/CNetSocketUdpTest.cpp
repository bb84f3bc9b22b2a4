// Datagrams between two UDP sockets on loopback.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"

namespace {

class Datagrams : public ::testing::Test {
protected:
    void SetUp() override
    {
        receiver.SetProtocol(sckUDPProtocol);
        receiver.Bind(0, "127.0.0.1");
        sender.SetProtocol(sckUDPProtocol);
        sender.SetRemoteHost("127.0.0.1");
        sender.SetRemotePort(receiver.LocalPort());
    }

    void TearDown() override { SocketCalls::ClearFailures(); }

    CNetSocket receiver;
    CNetSocket sender;
};

TEST_F(Datagrams, DatagramArrivesWithItsSizeAndNamesItsSender)
{
    std::string received;
    int32_t announced = 0;
    receiver.Events.DataArrival = [&](int32_t bytesTotal) {
        announced = bytesTotal;
        receiver.GetData(received);
    };
    int sendEvents = 0;
    sender.Events.SendComplete = [&] { ++sendEvents; };
    sender.Events.SendProgress = [&](int32_t, int32_t) { ++sendEvents; };

    sender.SendData("ping");
    EXPECT_EQ(sender.State(), sckOpen);

    ASSERT_TRUE(PumpUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, "ping");
    EXPECT_EQ(announced, 4);
    EXPECT_EQ(receiver.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(receiver.RemotePort(), sender.LocalPort());
    EXPECT_EQ(sendEvents, 0) << "datagrams raise no send events";
}

TEST_F(Datagrams, DatagramThatTheHandlerLeavesIsDiscardedAndTheNextOneAnnounced)
{
    std::vector<int32_t> sizes;
    receiver.Events.DataArrival = [&](int32_t bytesTotal) { sizes.push_back(bytesTotal); };

    sender.SendData("first");
    ASSERT_TRUE(PumpUntil([&] { return sizes.size() == 1; }));
    sender.SendData("second");
    ASSERT_TRUE(PumpUntil([&] { return sizes.size() == 2; }));

    EXPECT_EQ(sizes, (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(receiver.BytesReceived(), 0);
}

TEST_F(Datagrams, MaxLenShorterThanTheDatagramGivesItsFirstBytesAndError10040)
{
    NetVariant data = std::string();
    RuntimeError caught(0, "", "");
    receiver.Events.DataArrival = [&](int32_t) {
        NetVariant maxLen = 2;
        caught = CaughtError([&] { receiver.GetData(data, nullptr, &maxLen); });
    };

    sender.SendData("ping");

    ASSERT_TRUE(PumpUntil([&] { return caught.Number() != 0; }));
    EXPECT_EQ(caught.Number(), 10040);
    EXPECT_EQ(caught.Description(), "Message too long.");
    EXPECT_EQ(caught.Source(), "CNetSocket.RecvData");
    EXPECT_EQ(data.ToText(), "pi");
}

TEST_F(Datagrams, ZeroMaxLenDropsTheDatagramWithError10040)
{
    NetVariant data = std::string("old");
    RuntimeError caught(0, "", "");
    int32_t pendingAfter = -1;
    receiver.Events.DataArrival = [&](int32_t) {
        NetVariant maxLen = 0;
        caught = CaughtError([&] { receiver.GetData(data, nullptr, &maxLen); });
        pendingAfter = receiver.BytesReceived();
    };

    sender.SendData("ping");

    ASSERT_TRUE(PumpUntil([&] { return caught.Number() != 0; }));
    EXPECT_EQ(caught.Number(), 10040);
    EXPECT_EQ(data, NetVariant(NetVariant::ByteArray{}));
    EXPECT_EQ(pendingAfter, 0);
}

TEST_F(Datagrams, PeekLeavesTheDatagramForGetData)
{
    std::string peeked;
    std::string taken;
    receiver.Events.DataArrival = [&](int32_t) {
        NetVariant data = std::string();
        receiver.PeekData(data);
        peeked = data.ToText();
        receiver.GetData(taken);
    };

    sender.SendData(NetVariant::ByteArray{1, 2, 3});

    ASSERT_TRUE(PumpUntil([&] { return !taken.empty(); }));
    EXPECT_EQ(peeked, "\x01\x02\x03");
    EXPECT_EQ(taken, "\x01\x02\x03");
}

TEST_F(Datagrams, GetDataWithNothingPendingLeavesDataUnchanged)
{
    NetVariant data = std::string("unchanged");

    receiver.GetData(data);

    EXPECT_EQ(data.ToText(), "unchanged");
}

TEST_F(Datagrams, ConnectOpensAndBindsWithoutSending)
{
    int arrivals = 0;
    receiver.Events.DataArrival = [&](int32_t) { ++arrivals; };

    sender.Connect();

    EXPECT_EQ(sender.State(), sckOpen);
    EXPECT_GT(sender.LocalPort(), 0);
    PumpFor(100);
    EXPECT_EQ(arrivals, 0);
}

TEST_F(Datagrams, DestinationThatCannotBeResolvedEmptiesTheSendBuffer)
{
    sender.SetRemoteHost("printer-host");
    SocketCalls::FailNext(SocketCalls::Call::Resolve, 11001);

    RuntimeError caught = CaughtError([&] { sender.SendData("lost"); });

    EXPECT_EQ(caught.Number(), 40014);
    EXPECT_EQ(caught.Description(), "Invalid argument");
    EXPECT_EQ(caught.Source(), "CNetSocket.SendBufferedDataUDP");
    EXPECT_EQ(sender.GetOutBufferLength(), 0);
}

TEST_F(Datagrams, SendThatWouldBlockLosesTheDatagramWithError10035)
{
    SocketCalls::FailNext(SocketCalls::Call::SendTo, 10035);

    EXPECT_RUNTIME_ERROR(sender.SendData("lost"), 10035, "CNetSocket.SendBufferedDataUDP");
    EXPECT_EQ(sender.GetOutBufferLength(), 0);
    EXPECT_EQ(sender.State(), sckOpen);
}

TEST_F(Datagrams, UdpSocketReadsOnlyWhenOpen)
{
    NetVariant data;
    EXPECT_RUNTIME_ERROR(sender.GetData(data), 40006, "CNetSocket.GetData");
    EXPECT_RUNTIME_ERROR(sender.PeekData(data), 40006, "CNetSocket.PeekData");
}

}  // namespace
