// Sending and receiving over a connected loopback pair: the send buffer and
// its events, the receive buffer and the notifications. The monitor sends
// and reads text only; the receive fuzz target tries the typed values.
#include "SocketTestSupport.h"

#include "socket/modNetSocket.h"

namespace {

class Transfer : public ListenerOnLoopback {
protected:
    void SetUp() override
    {
        ListenerOnLoopback::SetUp();
        ConnectClient();
    }
};

TEST_F(Transfer, SendThatWouldBlockResumesOnWriteWithBytesInOrderAndOneComplete)
{
    std::string first(8 << 20, '\0');
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
    const std::string second = "and the tail";
    std::string received;
    accepted.Events.DataArrival = [&](int32_t) {
        std::string more;
        accepted.GetData(more);
        received += more;
    };
    int completes = 0;
    int64_t progressSent = 0;
    int32_t lastRemaining = -1;
    client.Events.SendComplete = [&] { ++completes; };
    client.Events.SendProgress = [&](int32_t sent, int32_t remaining) {
        progressSent += sent;
        lastRemaining = remaining;
    };

    client.SendData("");
    EXPECT_EQ(completes + progressSent, 0) << "empty text sends nothing";
    client.SendData(first);
    ASSERT_GT(client.GetOutBufferLength(), 0) << "the send never blocked, so nothing here is tested";
    EXPECT_EQ(completes, 0);
    const int32_t waiting = client.GetOutBufferLength();
    client.SendData(second);
    EXPECT_EQ(client.GetOutBufferLength(), waiting + static_cast<int32_t>(second.size()))
        << "a send behind waiting bytes must only queue";

    ASSERT_TRUE(PumpUntil([&] { return received.size() == first.size() + second.size(); }, 20000));
    EXPECT_TRUE(received == first + second) << "bytes arrived out of order or changed";
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(lastRemaining, 0);
    EXPECT_EQ(progressSent, static_cast<int64_t>(first.size() + second.size()));
}

// No notifier fires in a loop: a quiet connection gets no notifications,
// and a peer's close comes once, after the bytes sent before it.
TEST_F(Transfer, NotificationsComeOnlyForWhatHappens)
{
    std::vector<std::string> events;
    accepted.Events.DataArrival = [&](int32_t) {
        std::string text;
        accepted.GetData(text);
        events.push_back(text);
    };
    accepted.Events.CloseSck = [&] { events.push_back("CloseSck"); };
    auto expectQuiet = [] {
        PumpFor(100);
        const uint64_t before = modNetSocket::MessagesRouted();
        PumpFor(500);
        EXPECT_EQ(modNetSocket::MessagesRouted(), before) << "a socket with nothing to say was notified";
    };
    expectQuiet();
    client.SendData("last words");
    client.CloseSck();
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
    expectQuiet();
    EXPECT_EQ(events, (std::vector<std::string>{"last words", "CloseSck"}));
    EXPECT_EQ(accepted.State(), sckClosing);
    NetVariant data;
    EXPECT_RUNTIME_ERROR(accepted.GetData(data), 40006, "CNetSocket.GetData");
}

// A failed receive while handling a notification is told, and the process
// goes on; a failed send keeps its bytes.
TEST_F(Transfer, FailedReceivesAndSendsAreTold)
{
    SocketCalls::FailNext(SocketCalls::Call::Recv, 10054);
    testing::internal::CaptureStderr();
    client.SendData("x");
    const bool failed = PumpUntil([&] { return accepted.State() == sckError; });
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(failed);
    EXPECT_NE(told.find("CNetSocket.RecvDataToBuffer"), std::string::npos) << told;

    SocketCalls::FailNext(SocketCalls::Call::Send, 10054);
    client.SendData("kept");
    ExpectOneError(errors, client, 10054, "CNetSocket.SendBufferedData");
    EXPECT_EQ(errors.front().description, "Connection reset by peer.");
    EXPECT_EQ(client.GetOutBufferLength(), 4);
}

}  // namespace
