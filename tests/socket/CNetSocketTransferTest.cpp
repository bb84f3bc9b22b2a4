// Sending and receiving over a connected loopback pair: the send buffer and
// its events, the receive buffer, the value types and their byte forms.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <memory>
#include <optional>

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

TEST_F(Transfer, DataArrivalReportsTheWholeBufferedAmount)
{
    std::vector<int32_t> totals;
    server.Events.DataArrival = [&](int32_t bytesTotal) { totals.push_back(bytesTotal); };

    client.SendData("ab");
    ASSERT_TRUE(PumpUntil([&] { return totals.size() == 1; }));
    client.SendData("cde");
    ASSERT_TRUE(PumpUntil([&] { return totals.size() == 2; }));

    EXPECT_EQ(totals, (std::vector<int32_t>{2, 5}));
}

TEST_F(Transfer, AllBytesValuesSurviveTheTripAsText)
{
    std::string every;
    for (int value = 0; value < 256; ++value)
        every.push_back(static_cast<char>(value));

    SendToServer(every, every.size());
    std::string received;
    server.GetData(received);

    EXPECT_EQ(received, every);
}

// The monitor reads everything as text; the other ways of reading the
// receive buffer, each from "0123456789AB" buffered.
TEST_F(Transfer, GetDataAndPeekDataTakeWhatTheirArgumentsAsk)
{
    struct Case {
        const char* what;
        NetVariant data;
        std::optional<NetVariant> varType;
        std::optional<NetVariant> maxLen;
        bool peek;
        NetVariant expected;
        int32_t left;
    };
    const Case cases[] = {
        {"a fresh value gets a byte array of everything", {}, {}, {}, false, Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B'}, 0},
        {"a value's own type decides", int32_t(-1), NetVariant(vbString), {}, false, int32_t(0x33323130), 8},
        {"a length takes that many", std::string(), {}, NetVariant(5), false, std::string("01234"), 7},
        {"a length of 0 takes nothing", std::string("old"), {}, NetVariant(0), false, Bytes{}, 12},
        {"a peek takes nothing", std::string(), {}, {}, true, std::string("0123456789AB"), 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SendToServer("0123456789AB", 12);
        NetVariant data = c.data;
        std::optional<NetVariant> varType = c.varType;
        std::optional<NetVariant> maxLen = c.maxLen;
        if (c.peek)
            server.PeekData(data, varType ? &*varType : nullptr, maxLen ? &*maxLen : nullptr);
        else
            server.GetData(data, varType ? &*varType : nullptr, maxLen ? &*maxLen : nullptr);
        EXPECT_EQ(data, c.expected);
        EXPECT_EQ(server.BytesReceived(), c.left);
        if (varType)
            EXPECT_EQ(*varType, NetVariant(data.VarType())) << "the type read is written back";
        std::string rest;
        server.GetData(rest);
    }

    SendToServer("abc", 3);
    NetVariant data = int32_t(7);
    server.GetData(data);
    EXPECT_EQ(data, NetVariant(int32_t(7))) << "too few bytes for the type leave the value";
    NetVariant maxLen = std::string("all");
    server.PeekData(data, nullptr, &maxLen);
    EXPECT_EQ(maxLen, NetVariant(int32_t(3))) << "a length that is no number comes back as the count there";
    maxLen = -1;
    EXPECT_RUNTIME_ERROR(server.GetData(data, nullptr, &maxLen), 40014, "CNetSocket.GetData");
    EXPECT_RUNTIME_ERROR(server.PeekData(data, nullptr, &maxLen), 40014, "CNetSocket.PeekData");
    NetVariant fresh;
    EXPECT_RUNTIME_ERROR(server.GetData(fresh, 9), 40018, "CNetSocket.RecvData");
    EXPECT_RUNTIME_ERROR(client.SendData(NetVariant()), 40018, "CNetSocket.SendData");
    EXPECT_EQ(server.BytesReceived(), 3);
}

struct TypedValue {
    const char* name;
    NetVariant value;
    std::string bytes;
};

TEST_F(Transfer, EachValueTypeTravelsInItsLittleEndianFormAndReadsBack)
{
    const std::vector<TypedValue> values = {
        {"Byte", uint8_t(0xF0), std::string("\xF0", 1)},
        {"Integer", int16_t(-2), std::string("\xFE\xFF", 2)},
        {"Long", int32_t(0x01020304), std::string("\x04\x03\x02\x01", 4)},
        {"Single", 1.0f, std::string("\x00\x00\x80\x3F", 4)},
        {"Double", -2.0, std::string("\x00\x00\x00\x00\x00\x00\x00\xC0", 8)},
        {"Currency", NetVariant::Currency{15000}, std::string("\x98\x3A\x00\x00\x00\x00\x00\x00", 8)},
        {"Date", NetVariant::Date{1.0}, std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8)},
        {"Boolean true", true, std::string("\xFF\xFF", 2)},
        {"Boolean false", false, std::string("\x00\x00", 2)},
        {"Byte array", Bytes{0, 255, 7}, std::string("\x00\xFF\x07", 3)},
    };
    for (const TypedValue& typed : values) {
        SCOPED_TRACE(typed.name);
        client.SendData(typed.value);
        ASSERT_TRUE(PumpUntil([&] { return server.BytesReceived() == static_cast<int32_t>(typed.bytes.size()); }));

        NetVariant raw = std::string();
        server.PeekData(raw);
        EXPECT_EQ(raw.ToText(), typed.bytes);
        NetVariant back;
        server.GetData(back, typed.value.VarType());
        EXPECT_EQ(back, typed.value);
        EXPECT_EQ(server.BytesReceived(), 0);
    }
}

TEST_F(Transfer, PeerCloseRaisesCloseSckOnceAndEndsReading)
{
    int closes = 0;
    server.Events.CloseSck = [&] { ++closes; };

    client.CloseSck();
    ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
    PumpFor(200);

    EXPECT_EQ(closes, 1);
    EXPECT_EQ(server.State(), sckClosing);
    NetVariant data;
    EXPECT_RUNTIME_ERROR(server.GetData(data), 40006, "CNetSocket.GetData");
}

TEST_F(Transfer, BytesSentJustBeforeTheCloseAreReadBeforeCloseSck)
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
    EXPECT_EQ(events, (std::vector<std::string>{"last words", "CloseSck"}));
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
