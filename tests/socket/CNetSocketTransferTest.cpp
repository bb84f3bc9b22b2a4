// Sending and receiving over a connected loopback pair: the send buffer and
// its events, the receive buffer, the value types and their byte forms.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <memory>

namespace {

using Bytes = NetVariant::ByteArray;

class Transfer : public ConnectedPair {
protected:
    void TearDown() override { SocketCalls::ClearFailures(); }

    // Sends `text` from the client and waits until the server holds
    // `expectedTotal` bytes, reading nothing.
    void SendToServer(const std::string& text, size_t expectedTotal)
    {
        client.SendData(text);
        ASSERT_TRUE(PumpUntil([&] { return server.BytesReceived() == static_cast<int32_t>(expectedTotal); }));
    }
};

TEST_F(Transfer, ASendThatCompletesAtOnceRaisesProgressThenCompleteAndEmptyTextSendsNothing)
{
    std::vector<std::string> events;
    client.Events.SendProgress = [&](int32_t sent, int32_t remaining) {
        events.push_back("SendProgress " + std::to_string(sent) + " " + std::to_string(remaining));
    };
    client.Events.SendComplete = [&] { events.push_back("SendComplete"); };

    client.SendData("");
    client.SendData(Bytes{});
    client.SendData("abc");

    EXPECT_EQ(events, (std::vector<std::string>{"SendProgress 3 0", "SendComplete"}));
    EXPECT_EQ(client.GetOutBufferLength(), 0);
}

TEST_F(Transfer, SendThatWouldBlockResumesOnWriteWithBytesInOrderAndOneComplete)
{
    std::string first(8 << 20, '\0');
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
    const std::string second = "and the tail";
    std::string received;
    server.Events.DataArrival = [&](int32_t) {
        std::string more;
        server.GetData(more);
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

    client.SendData(first);
    ASSERT_GT(client.GetOutBufferLength(), 0) << "the send never blocked, so nothing here is tested";
    EXPECT_EQ(completes, 0);
    int32_t waiting = client.GetOutBufferLength();
    client.SendData(second);
    EXPECT_EQ(client.GetOutBufferLength(), waiting + static_cast<int32_t>(second.size()))
        << "a send behind waiting bytes must only queue";

    ASSERT_TRUE(PumpUntil([&] { return received.size() == first.size() + second.size(); }, 20000));
    EXPECT_TRUE(received == first + second) << "bytes arrived out of order or changed";
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(lastRemaining, 0);
    EXPECT_EQ(progressSent, static_cast<int64_t>(first.size() + second.size()));
}

TEST_F(Transfer, DataArrivalReportsTheWholeBufferedAmountAndEveryByteValueSurvivesAsText)
{
    std::vector<int32_t> totals;
    server.Events.DataArrival = [&](int32_t bytesTotal) { totals.push_back(bytesTotal); };
    std::string every;
    for (int value = 0; value < 256; ++value)
        every.push_back(static_cast<char>(value));

    client.SendData(every.substr(0, 2));
    ASSERT_TRUE(PumpUntil([&] { return totals.size() == 1; }));
    client.SendData(every.substr(2));
    ASSERT_TRUE(PumpUntil([&] { return totals.size() == 2; }));

    EXPECT_EQ(totals, (std::vector<int32_t>{2, 256})) << "a handler that reads nothing sees the count grow";
    std::string received;
    server.GetData(received);
    EXPECT_EQ(received, every);
}

// The monitor sends and reads text only; one case keeps the typed values
// and the reading arguments honest, and the receive fuzz target tries them
// all.
TEST_F(Transfer, TypedValuesTravelLittleEndianAndReadsTakeWhatTheirArgumentsAsk)
{
    client.SendData(int32_t(0x01020304));
    client.SendData(NetVariant::Currency{15000});
    client.SendData(true);
    ASSERT_TRUE(PumpUntil([&] { return server.BytesReceived() == 14; }));
    NetVariant raw = std::string();
    server.PeekData(raw);
    EXPECT_EQ(raw.ToText(), std::string("\x04\x03\x02\x01\x98\x3A\0\0\0\0\0\0\xFF\xFF", 14));

    NetVariant value = int32_t(0);
    NetVariant varType = vbString;
    server.GetData(value, &varType);
    EXPECT_EQ(value, NetVariant(int32_t(0x01020304)));
    EXPECT_EQ(varType, NetVariant(vbLong)) << "a value's own type decides, and is written back";
    NetVariant currency;
    server.GetData(currency, vbCurrency);
    EXPECT_EQ(currency, NetVariant(NetVariant::Currency{15000}));
    NetVariant part;
    NetVariant maxLen = 1;
    server.GetData(part, nullptr, &maxLen);
    EXPECT_EQ(part, NetVariant(Bytes{0xFF})) << "a length takes that many, as a byte array";
    NetVariant wide = int32_t(7);
    server.GetData(wide);
    EXPECT_EQ(wide, NetVariant(int32_t(7))) << "too few bytes for the type leave the value";
    maxLen = std::string("all");
    server.PeekData(part, nullptr, &maxLen);
    EXPECT_EQ(maxLen, NetVariant(int32_t(1))) << "a length that is no number comes back as the count there";
    maxLen = -1;
    EXPECT_RUNTIME_ERROR(server.GetData(part, nullptr, &maxLen), 40014, "CNetSocket.GetData");
    NetVariant fresh;
    EXPECT_RUNTIME_ERROR(server.GetData(fresh, 9), 40018, "CNetSocket.RecvData");
    EXPECT_RUNTIME_ERROR(client.SendData(NetVariant()), 40018, "CNetSocket.SendData");
    EXPECT_EQ(server.BytesReceived(), 1);
}

TEST_F(Transfer, BytesSentJustBeforeAPeerCloseAreReadFirstAndTheCloseComesOnce)
{
    std::vector<std::string> events;
    server.Events.DataArrival = [&](int32_t) {
        std::string text;
        server.GetData(text);
        events.push_back(text);
    };
    server.Events.CloseSck = [&] { events.push_back("CloseSck"); };

    client.SendData("last words");
    client.CloseSck();
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
    PumpFor(200);

    EXPECT_EQ(events, (std::vector<std::string>{"last words", "CloseSck"}));
    EXPECT_EQ(server.State(), sckClosing);
    NetVariant data;
    EXPECT_RUNTIME_ERROR(server.GetData(data), 40006, "CNetSocket.GetData");
}

TEST_F(Transfer, FailedSendIsAnErrorEventAndKeepsTheBytes)
{
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    SocketCalls::FailNext(SocketCalls::Call::Send, 10054);

    client.SendData("kept");

    ExpectOneError(errors, client, 10054, "CNetSocket.SendBufferedData");
    EXPECT_EQ(errors.front().description, "Connection reset by peer.");
    EXPECT_EQ(client.GetOutBufferLength(), 4);
}

TEST_F(Transfer, FailedReceiveDuringANotificationIsToldAndTheProcessGoesOn)
{
    SocketCalls::FailNext(SocketCalls::Call::Recv, 10054);

    testing::internal::CaptureStderr();
    client.SendData("x");
    bool failed = PumpUntil([&] { return server.State() == sckError; });
    std::string told = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(failed);
    EXPECT_NE(told.find("CNetSocket.RecvDataToBuffer"), std::string::npos) << told;
}

TEST_F(Transfer, QuietConnectionDeliversNoNotifications)
{
    PumpFor(100);
    uint64_t before = modNetSocket::MessagesRouted();

    PumpFor(1000);
    EXPECT_EQ(modNetSocket::MessagesRouted(), before) << "a socket with nothing to say was notified";

    client.SendData("x");
    EXPECT_TRUE(PumpUntil([&] { return modNetSocket::MessagesRouted() > before; }));
}

}  // namespace
