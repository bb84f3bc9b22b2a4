// Datagrams between two UDP sockets on loopback. The monitor sends none; one
// case keeps the mode honest.
#include "SocketTestSupport.h"

namespace {

TEST(Datagrams, ADatagramArrivesWithItsSizeAndSenderAndOneLeftUnreadIsDropped)
{
    CNetSocket receiver;
    receiver.SetProtocol(sckUDPProtocol);
    receiver.Bind(0, "127.0.0.1");
    CNetSocket sender;
    sender.SetProtocol(sckUDPProtocol);
    sender.SetRemoteHost("127.0.0.1");
    sender.SetRemotePort(receiver.LocalPort());
    std::vector<int32_t> sizes;
    std::string received;
    RuntimeError shortRead(0, "", "");
    receiver.Events.DataArrival = [&](int32_t bytesTotal) {
        sizes.push_back(bytesTotal);
        if (sizes.size() == 2) {
            NetVariant maxLen = 2;
            NetVariant data = std::string();
            shortRead = CaughtError([&] { receiver.GetData(data, nullptr, &maxLen); });
            received = data.ToText();
        }
    };

    sender.SendData("left");
    EXPECT_EQ(sender.State(), sckOpen);
    ASSERT_TRUE(PumpUntil([&] { return sizes.size() == 1; }));
    sender.SendData("ping");
    ASSERT_TRUE(PumpUntil([&] { return sizes.size() == 2; }));

    EXPECT_EQ(sizes, (std::vector<int32_t>{4, 4}));
    EXPECT_EQ(received, "pi") << "a length shorter than the datagram gives its first bytes";
    EXPECT_EQ(shortRead.Number(), 10040);
    EXPECT_EQ(shortRead.Source(), "CNetSocket.RecvData");
    EXPECT_EQ(receiver.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(receiver.RemotePort(), sender.LocalPort());
    EXPECT_EQ(receiver.BytesReceived(), 0);
}

}  // namespace
