// Connecting, binding and the checks that guard each method and property.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <functional>

namespace {

class ListenerOnLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.Events.ConnectionRequest = [this](int32_t requestID) {
            ++requests;
            accepted.Accept(requestID);
        };
        listener.Bind(0, "127.0.0.1");
        listener.Listen();
        client.Events.Connect = [this] { ++connects; };
    }

    void TearDown() override { SocketCalls::ClearFailures(); }

    bool NoLookupPending() const
    {
        const std::vector<DispatchTable::Entry> table = modNetSocket::LookupTable();
        return std::all_of(table.begin(), table.end(), [](const DispatchTable::Entry& e) { return e.handle == -1; });
    }

    CNetSocket listener;
    CNetSocket accepted;
    CNetSocket client;
    int requests = 0;
    int connects = 0;
};

TEST_F(ListenerOnLoopback, ConnectToADottedAddressGoesStraightToConnectingThenConnected)
{
    client.Connect("127.0.0.1", std::to_string(listener.LocalPort()));
    EXPECT_EQ(client.State(), sckConnecting);

    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    EXPECT_EQ(client.State(), sckConnected);
    EXPECT_EQ(client.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(client.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(client.RemotePort(), listener.LocalPort()) << "a port given as text";
    EXPECT_EQ(client.LocalIP(), "127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return accepted.State() == sckConnected; }));
    EXPECT_EQ(client.LocalPort(), accepted.RemotePort());

    client.SetTag("printer 2");
    client.CloseSck();
    EXPECT_EQ(client.State(), sckClosed);
    EXPECT_EQ(client.SocketHandle(), -1);
    EXPECT_EQ(client.Tag(), "printer 2") << "the owner's fields stay";
    EXPECT_EQ(client.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(client.RemotePort(), listener.LocalPort());
    EXPECT_EQ(client.RemoteHostIP(), "") << "the connection's fields go";
    EXPECT_EQ(client.LocalPort(), 0);
}

TEST_F(ListenerOnLoopback, ConnectToANameResolvesFirstAndKeepsTheNameAsRemoteHost)
{
    client.Connect("localhost", listener.LocalPort());
    EXPECT_EQ(client.State(), sckResolvingHost);

    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    EXPECT_EQ(client.State(), sckConnected);
    EXPECT_EQ(client.RemoteHost(), "localhost");
    EXPECT_EQ(client.RemoteHostIP(), "127.0.0.1");
    EXPECT_TRUE(NoLookupPending()) << "a finished look-up keeps its dispatch entry";
}

TEST_F(ListenerOnLoopback, CloseSckDuringALookupCancelsItAndALateCompletionIsIgnored)
{
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    client.Connect("localhost", listener.LocalPort());
    ASSERT_EQ(client.State(), sckResolvingHost);
    client.CloseSck();

    EXPECT_EQ(client.State(), sckClosed);
    EXPECT_TRUE(NoLookupPending());
    PumpFor(300);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(client.State(), sckClosed);
}

TEST(CNetSocketConnectFailure, ARefusedConnectIsAnErrorEventLeftOnlyThroughCloseSck)
{
    const int32_t port = FreeLoopbackPort();
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    client.Connect("127.0.0.1", port);
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));

    ExpectOneError(errors, client, 10061, "CNetSocket.PostSocket");
    const ErrorRecord& error = errors.front();
    EXPECT_EQ(error.description, "Connection refused.");
    EXPECT_EQ(error.sCode, 0);
    EXPECT_EQ(error.helpFile, "");
    EXPECT_EQ(error.helpContext, 0);
    EXPECT_TRUE(error.cancelDisplay);

    EXPECT_RUNTIME_ERROR(client.Connect("127.0.0.1", port), 40020, "CNetSocket.Connect");
    client.CloseSck();
    EXPECT_EQ(client.State(), sckClosed);

    // A handler that clears CancelDisplay has the message shown.
    client.Events.Error = [](int16_t, std::string&, int32_t, const std::string&, const std::string&, int32_t,
                             bool& cancelDisplay) { cancelDisplay = false; };
    testing::internal::CaptureStderr();
    client.Connect("127.0.0.1", port);
    const bool failed = PumpUntil([&] { return client.State() == sckError; });
    const std::string shown = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(failed);
    EXPECT_EQ(shown, "StatusMonitorQ62m: CNetSocket.PostSocket: Connection refused.\n");
}

// Each failure of a platform call, and how the socket tells it: raised to
// the caller, or as an Error event (number 0 in `raised`).
TEST(CNetSocketConnectFailure, EachFailingCallIsToldWithItsNumberAndSource)
{
    struct Case {
        const char* what;
        SocketCalls::Call call;
        int32_t code;
        std::function<void(CNetSocket&)> action;
        int32_t raised;
        int16_t event;
        const char* source;
        int32_t state;
    };
    CNetSocket taken;
    taken.Bind(0, "127.0.0.1");
    taken.Listen();
    const int32_t free = FreeLoopbackPort();
    const Case cases[] = {
        {"a socket that cannot be made", SocketCalls::Call::Create, 10024, [](CNetSocket& s) { s.Listen(); }, 0,
         10024, "CNetSocket.SocketExists", sckError},
        {"an address not available at once", SocketCalls::Call::Connect, 10049,
         [&](CNetSocket& s) { s.Connect("127.0.0.1", free); }, 10049, 0, "CNetSocket.ConnectToIP", sckConnecting},
        {"another connect failure at once", SocketCalls::Call::Connect, 10051,
         [&](CNetSocket& s) { s.Connect("127.0.0.1", free); }, 0, 10051, "CNetSocket.ConnectToIP", sckError},
        {"a port another listener holds", SocketCalls::Call::Startup, 0,
         [&](CNetSocket& s) { s.Bind(taken.LocalPort(), "127.0.0.1"); }, 10048, 0, "CNetSocket.BindInternal",
         sckClosed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CNetSocket socket;
        std::vector<ErrorRecord> errors;
        RecordErrors(socket, errors);
        if (c.code != 0)
            SocketCalls::FailNext(c.call, c.code);
        const RuntimeError caught = CaughtError([&] { c.action(socket); });
        SocketCalls::ClearFailures();
        EXPECT_EQ(caught.Number(), c.raised);
        if (c.raised != 0)
            EXPECT_EQ(caught.Source(), c.source);
        else
            ExpectOneError(errors, socket, c.event, c.source);
        EXPECT_EQ(socket.State(), c.state);
    }
    CNetSocket unnamed;
    std::vector<ErrorRecord> errors;
    RecordErrors(unnamed, errors);
    // The empty name fails inside the resolver without asking any server.
    unnamed.Connect("", free);
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
    ExpectOneError(errors, unnamed, 11001, "CNetSocket.ConnectToIP");
    EXPECT_EQ(errors.front().description, "Host not found.");
}

TEST(CNetSocketBind, PortsComeAsNumbersOrTextAndTheAddressZeroIsEveryAddress)
{
    CNetSocket server;
    int requests = 0;
    server.Events.ConnectionRequest = [&](int32_t) { ++requests; };
    server.Bind(0, 0);
    EXPECT_EQ(server.State(), sckOpen);
    const int32_t chosen = server.LocalPort();
    ASSERT_GT(chosen, 0) << "LocalPort reads the port the platform chose";
    server.Listen();
    CNetSocket client;
    client.Connect("127.0.0.1", chosen);
    EXPECT_TRUE(PumpUntil([&] { return requests == 1; })) << "nobody listens on 127.0.0.1 at the port LocalPort reads";

    const int32_t fixed = FreeLoopbackPort();
    CNetSocket text;
    text.Bind(std::to_string(fixed), 0);
    EXPECT_EQ(text.LocalPort(), fixed);
    text.CloseSck();
    EXPECT_EQ(text.LocalPort(), fixed) << "a fixed port is kept across the close";
}

TEST(CNetSocketStateChecks, EachMethodAndPropertyRefusesWhatItsStateOrRangeForbids)
{
    CNetSocket socket;
    EXPECT_NO_THROW(socket.CloseSck());
    EXPECT_RUNTIME_ERROR(socket.SendData("x"), 40006, "CNetSocket.SendData");
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(-1), 40014, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(65536), 40014, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetLocalPort(65536), 40014, "CNetSocket.LocalPort");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", 0), 40014, "CNetSocket.Connect");
    for (const char* word : {"nine", "0x50", "inf"})
        EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", word), 40018, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Bind(70000, 0), 40014, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(socket.Bind(-1, 0), 40014, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(socket.Bind("0x50", 0), 40018, "CNetSocket.BindInternal");
    socket.SetRemotePort(0);
    socket.SetRemotePort(65535);
    EXPECT_EQ(socket.RemotePort(), 65535);
    EXPECT_EQ(socket.State(), sckClosed);

    socket.Bind(0, "127.0.0.1");
    socket.Listen();
    NetVariant data;
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(1), 40020, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetRemoteHost("x"), 40020, "CNetSocket.RemoteHost");
    EXPECT_RUNTIME_ERROR(socket.SetLocalPort(1), 40020, "CNetSocket.LocalPort");
    EXPECT_RUNTIME_ERROR(socket.SetProtocol(1), 40020, "CNetSocket.Protocol");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", 1), 40020, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Bind(0, 0), 40020, "CNetSocket.Bind");
    EXPECT_RUNTIME_ERROR(socket.Listen(), 40020, "CNetSocket.Listen");
    EXPECT_RUNTIME_ERROR(socket.Accept(socket.SocketHandle()), 40020, "CNetSocket.Accept");
    EXPECT_RUNTIME_ERROR(socket.SendData("x"), 40006, "CNetSocket.SendData");
    EXPECT_RUNTIME_ERROR(socket.GetData(data), 40006, "CNetSocket.GetData");
    EXPECT_RUNTIME_ERROR(socket.PeekData(data), 40006, "CNetSocket.PeekData");
    EXPECT_EQ(socket.State(), sckListening);

    // A closed socket may not take over a connection another object owns.
    CNetSocket thief;
    EXPECT_RUNTIME_ERROR(thief.Accept(socket.SocketHandle()), 40006, "CNetSocket.Accept");
    EXPECT_EQ(thief.SocketHandle(), -1);
    EXPECT_EQ(thief.State(), sckClosed);
    EXPECT_EQ(socket.State(), sckListening);
}

}  // namespace
