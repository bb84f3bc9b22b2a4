// Connecting, binding and the checks that guard each method and property.
// Of a connection's fields the monitor reads only the Tag and the local
// port, with which a status server binds again to every address: that
// binding is the status server's test.
#include "SocketTestSupport.h"

#include "socket/modNetSocket.h"

#include <functional>

namespace {

bool NoLookupPending()
{
    const std::vector<DispatchTable::Entry> table = modNetSocket::LookupTable();
    return std::all_of(table.begin(), table.end(), [](const DispatchTable::Entry& e) { return e.handle == -1; });
}

TEST_F(ListenerOnLoopback, AConnectionToAnAddressOrANameIsMadeAndClosedAndTheTagStays)
{
    const std::pair<const char*, int32_t> hosts[] = {{"127.0.0.1", sckConnecting}, {"localhost", sckResolvingHost}};
    for (const auto& [host, first] : hosts) {
        client.Connect(host, listener.LocalPort());
        EXPECT_EQ(client.State(), first) << host;
        EXPECT_TRUE(PumpUntil([&] { return client.State() == sckConnected && accepted.State() == sckConnected; }));
        EXPECT_EQ(client.LocalIP(), "127.0.0.1") << host;
        client.SetTag(host);
        client.CloseSck();
        accepted.CloseSck();
        EXPECT_EQ(client.State(), sckClosed);
        EXPECT_EQ(client.Tag(), host);
    }
    EXPECT_TRUE(NoLookupPending()) << "a finished look-up keeps its dispatch entry";
    EXPECT_EQ(requests, 2);
}

TEST_F(ListenerOnLoopback, CloseSckDuringALookupCancelsItAndALateCompletionIsIgnored)
{
    client.Connect("localhost", listener.LocalPort());
    ASSERT_EQ(client.State(), sckResolvingHost);
    client.CloseSck();
    EXPECT_EQ(client.State(), sckClosed);
    EXPECT_TRUE(NoLookupPending());
    // A second look-up of the same name completes after the first.
    CNetSocket later;
    later.Connect("localhost", listener.LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return requests == 1; }));
    EXPECT_EQ(client.State(), sckClosed);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ListenerOnLoopback, ARefusedConnectIsAnErrorEventLeftOnlyThroughCloseSck)
{
    CNetSocket refusing;
    refusing.Bind(0, "127.0.0.1");
    client.Connect("127.0.0.1", refusing.LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
    ExpectOneError(errors, client, 10061, "CNetSocket.PostSocket");
    EXPECT_EQ(errors.front().description, "Connection refused.");
    EXPECT_TRUE(errors.front().cancelDisplay) << "nothing is shown unless the owner asks";

    EXPECT_RUNTIME_ERROR(client.Connect("127.0.0.1", refusing.LocalPort()), 40020, "CNetSocket.Connect");
    client.CloseSck();
    EXPECT_EQ(client.State(), sckClosed);
}

// Each failure, and how the socket tells it: raised to the caller, or as an
// Error event.
TEST_F(ListenerOnLoopback, EachFailureIsToldWithItsNumberAndSource)
{
    struct Case {
        const char* what;
        SocketCalls::Call call;
        int32_t injected;
        std::function<void(CNetSocket&)> action;
        bool raised;
        int16_t number;
        const char* source;
        int32_t state;
    };
    const int32_t port = listener.LocalPort();
    const Case cases[] = {
        {"a socket that cannot be made", SocketCalls::Call::Create, 10024, [](CNetSocket& s) { s.Listen(); }, false,
         10024, "CNetSocket.SocketExists", sckError},
        {"a connect that fails at once", SocketCalls::Call::Connect, 10051,
         [&](CNetSocket& s) { s.Connect("127.0.0.1", port); }, false, 10051, "CNetSocket.ConnectToIP", sckError},
        {"a port another listener holds", SocketCalls::Call::Startup, 0,
         [&](CNetSocket& s) { s.Bind(port, "127.0.0.1"); }, true, 10048, "CNetSocket.BindInternal", sckClosed},
        // The empty name fails inside the resolver without asking any server.
        {"an empty name", SocketCalls::Call::Startup, 0, [&](CNetSocket& s) { s.Connect("", port); }, false, 11001,
         "CNetSocket.ConnectToIP", sckError}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CNetSocket socket;
        std::vector<ErrorRecord> told;
        RecordErrors(socket, told);
        if (c.injected != 0)
            SocketCalls::FailNext(c.call, c.injected);
        const RuntimeError caught = CaughtError([&] { c.action(socket); });
        SocketCalls::ClearFailures();
        EXPECT_EQ(caught.Number(), c.raised ? c.number : 0);
        if (c.raised)
            EXPECT_EQ(caught.Source(), c.source);
        else if (PumpUntil([&] { return !told.empty(); }))
            ExpectOneError(told, socket, c.number, c.source);
        EXPECT_EQ(socket.State(), c.state);
        socket.CloseSck();
        EXPECT_EQ(socket.State(), sckClosed) << "the close leaves every failure behind";
    }
}

// The range and state checks that the monitor's own calls can meet.
TEST(CNetSocketStateChecks, EachMethodRefusesWhatItsStateOrRangeForbids)
{
    CNetSocket socket;
    EXPECT_NO_THROW(socket.CloseSck());
    EXPECT_RUNTIME_ERROR(socket.SendData("x"), 40006, "CNetSocket.SendData");
    EXPECT_RUNTIME_ERROR(socket.CloseSend(), 40020, "CNetSocket.CloseSend");
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(-1), 40014, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(65536), 40014, "CNetSocket.RemotePort");
    EXPECT_NO_THROW(socket.SetRemotePort(65535));
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", 0), 40014, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Bind(70000, 0), 40014, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(socket.Bind("0x50", 0), 40018, "CNetSocket.BindInternal");
    EXPECT_EQ(socket.State(), sckClosed);

    socket.Bind(0, "127.0.0.1");
    socket.Listen();
    std::string data;
    EXPECT_RUNTIME_ERROR(socket.Bind(0, 0), 40020, "CNetSocket.Bind");
    EXPECT_RUNTIME_ERROR(socket.Listen(), 40020, "CNetSocket.Listen");
    EXPECT_RUNTIME_ERROR(socket.Accept(socket.SocketHandle()), 40020, "CNetSocket.Accept");
    EXPECT_RUNTIME_ERROR(socket.GetData(data), 40006, "CNetSocket.GetData");
    EXPECT_EQ(socket.State(), sckListening);
}

}  // namespace
