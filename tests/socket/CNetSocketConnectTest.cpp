// Connecting, binding and the checks that guard each method and property.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <memory>

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
    }

    void TearDown() override { SocketCalls::ClearFailures(); }

    CNetSocket listener;
    CNetSocket accepted;
    int requests = 0;
};

TEST_F(ListenerOnLoopback, ConnectToDottedAddressGoesStraightToConnectingThenConnected)
{
    CNetSocket client;
    int connects = 0;
    client.Events.Connect = [&] { ++connects; };

    client.Connect("127.0.0.1", listener.LocalPort());
    EXPECT_EQ(client.State(), sckConnecting);

    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    EXPECT_EQ(client.State(), sckConnected);
    EXPECT_EQ(client.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(client.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(client.RemotePort(), listener.LocalPort());
    EXPECT_EQ(client.LocalIP(), "127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return accepted.State() == sckConnected; }));
    EXPECT_EQ(client.LocalPort(), accepted.RemotePort());
}

TEST_F(ListenerOnLoopback, ConnectToNameResolvesFirstAndKeepsTheNameAsRemoteHost)
{
    CNetSocket client;
    int connects = 0;
    client.Events.Connect = [&] { ++connects; };

    client.Connect("localhost", listener.LocalPort());
    EXPECT_EQ(client.State(), sckResolvingHost);

    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    EXPECT_EQ(client.State(), sckConnected);
    EXPECT_EQ(client.RemoteHost(), "localhost");
    EXPECT_EQ(client.RemoteHostIP(), "127.0.0.1");
    for (const DispatchTable::Entry& entry : modNetSocket::LookupTable())
        EXPECT_EQ(entry.handle, -1) << "a finished look-up keeps its dispatch entry";
}

TEST_F(ListenerOnLoopback, CloseSckDuringLookupCancelsItAndALateCompletionIsIgnored)
{
    CNetSocket client;
    int connects = 0;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    client.Events.Connect = [&] { ++connects; };

    client.Connect("localhost", listener.LocalPort());
    ASSERT_EQ(client.State(), sckResolvingHost);
    client.CloseSck();

    EXPECT_EQ(client.State(), sckClosed);
    for (const DispatchTable::Entry& entry : modNetSocket::LookupTable())
        EXPECT_EQ(entry.handle, -1);
    PumpFor(300);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(client.State(), sckClosed);
}

TEST_F(ListenerOnLoopback, TextPortArgumentIsTakenAsItsNumber)
{
    CNetSocket client;
    int connects = 0;
    client.Events.Connect = [&] { ++connects; };

    client.Connect("127.0.0.1", std::to_string(listener.LocalPort()));

    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    EXPECT_EQ(client.RemotePort(), listener.LocalPort());
}

TEST_F(ListenerOnLoopback, AfterCloseSckOwnerFieldsStayAndConnectionFieldsAreCleared)
{
    CNetSocket client;
    client.SetTag("printer 2");
    client.Connect("127.0.0.1", listener.LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return client.State() == sckConnected; }));

    client.CloseSck();

    EXPECT_EQ(client.State(), sckClosed);
    EXPECT_EQ(client.SocketHandle(), -1);
    EXPECT_EQ(client.Tag(), "printer 2");
    EXPECT_EQ(client.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(client.RemotePort(), listener.LocalPort());
    EXPECT_EQ(client.RemoteHostIP(), "");
    EXPECT_EQ(client.LocalPort(), 0);
    EXPECT_EQ(client.GetOutBufferLength(), 0);
}

TEST(CNetSocketConnectFailure, RefusedConnectEndsInErrorEventFromPostSocket)
{
    int32_t port = UnusedLoopbackPort();
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);

    client.Connect("127.0.0.1", port);
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));

    EXPECT_EQ(errors.size(), 1u);
    const ErrorRecord& error = errors.front();
    EXPECT_EQ(error.number, 10061);
    EXPECT_EQ(error.description, "Connection refused.");
    EXPECT_EQ(error.source, "CNetSocket.PostSocket");
    EXPECT_EQ(error.sCode, 0);
    EXPECT_EQ(error.helpFile, "");
    EXPECT_EQ(error.helpContext, 0);
    EXPECT_TRUE(error.cancelDisplay);
    EXPECT_EQ(client.State(), sckError);
}

TEST(CNetSocketConnectFailure, ErrorStateIsLeftOnlyThroughCloseSck)
{
    int32_t port = UnusedLoopbackPort();
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    client.Connect("127.0.0.1", port);
    ASSERT_TRUE(PumpUntil([&] { return client.State() == sckError; }));

    EXPECT_RUNTIME_ERROR(client.Connect("127.0.0.1", port), 40020, "CNetSocket.Connect");
    client.CloseSck();
    EXPECT_EQ(client.State(), sckClosed);
    client.Connect("127.0.0.1", port);
    EXPECT_EQ(client.State(), sckConnecting);
}

TEST(CNetSocketConnectFailure, HandlerThatClearsCancelDisplayGetsTheMessageShown)
{
    int32_t port = UnusedLoopbackPort();
    CNetSocket client;
    bool reported = false;
    client.Events.Error = [&](int16_t, std::string&, int32_t, const std::string&, const std::string&, int32_t,
                              bool& cancelDisplay) {
        cancelDisplay = false;
        reported = true;
    };

    testing::internal::CaptureStderr();
    client.Connect("127.0.0.1", port);
    bool arrived = PumpUntil([&] { return reported; });
    std::string shown = testing::internal::GetCapturedStderr();

    ASSERT_TRUE(arrived);
    EXPECT_NE(shown.find("CNetSocket.PostSocket: Connection refused."), std::string::npos) << shown;
}

TEST(CNetSocketConnectFailure, NameThatCannotBeFoundEndsInErrorFromConnectToIP)
{
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);

    // The empty name fails inside the resolver without asking any server.
    client.Connect("", UnusedLoopbackPort());
    EXPECT_EQ(client.State(), sckResolvingHost);
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));

    ExpectOneError(errors, client, 11001, "CNetSocket.ConnectToIP");
    EXPECT_EQ(errors.front().description, "Host not found.");
}

TEST(CNetSocketConnectFailure, LookupThatCannotStartIsReportedFromResolveIfHostname)
{
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    SocketCalls::FailNext(SocketCalls::Call::StartLookup, 11002);

    client.Connect("localhost", UnusedLoopbackPort());

    ExpectOneError(errors, client, 11002, "CNetSocket.ResolveIfHostname");
}

TEST(CNetSocketConnectFailure, SocketThatCannotBeCreatedEndsTheMethodQuietly)
{
    CNetSocket server;
    std::vector<ErrorRecord> errors;
    RecordErrors(server, errors);
    SocketCalls::FailNext(SocketCalls::Call::Create, 10024);

    EXPECT_NO_THROW(server.Listen());

    ExpectOneError(errors, server, 10024, "CNetSocket.SocketExists");
    EXPECT_EQ(errors.front().description, "Too many open files.");
    EXPECT_EQ(server.SocketHandle(), -1);
}

TEST(CNetSocketConnectFailure, ImmediateAddressNotAvailableIsRaisedAndLeavesConnecting)
{
    CNetSocket client;
    SocketCalls::FailNext(SocketCalls::Call::Connect, 10049);

    EXPECT_RUNTIME_ERROR(client.Connect("127.0.0.1", UnusedLoopbackPort()), 10049, "CNetSocket.ConnectToIP");
    EXPECT_EQ(client.State(), sckConnecting);
}

TEST(CNetSocketConnectFailure, OtherImmediateConnectFailureIsAnErrorEvent)
{
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    RecordErrors(client, errors);
    SocketCalls::FailNext(SocketCalls::Call::Connect, 10051);

    client.Connect("127.0.0.1", UnusedLoopbackPort());

    ExpectOneError(errors, client, 10051, "CNetSocket.ConnectToIP");
}

TEST(CNetSocketBind, PortZeroLeavesLocalPortReadingThePortThatWasChosen)
{
    CNetSocket server;
    server.Bind(0, "127.0.0.1");
    EXPECT_EQ(server.State(), sckOpen);
    int32_t chosen = server.LocalPort();
    ASSERT_GT(chosen, 0);

    int requests = 0;
    server.Events.ConnectionRequest = [&](int32_t) { ++requests; };
    server.Listen();
    CNetSocket client;
    client.Connect("127.0.0.1", chosen);

    EXPECT_TRUE(PumpUntil([&] { return requests == 1; })) << "nobody listens on the port LocalPort reads";
}

TEST(CNetSocketBind, NumberZeroAsAddressBindsEveryLocalAddress)
{
    CNetSocket server;
    int requests = 0;
    server.Events.ConnectionRequest = [&](int32_t) { ++requests; };
    server.Bind(0, 0);
    server.Listen();

    CNetSocket client;
    client.Connect("127.0.0.1", server.LocalPort());

    EXPECT_TRUE(PumpUntil([&] { return requests == 1; }));
}

TEST(CNetSocketBind, FixedPortGivenAsTextIsKeptAcrossClose)
{
    int32_t port = UnusedLoopbackPort();
    CNetSocket server;

    server.Bind(std::to_string(port), 0);
    EXPECT_EQ(server.LocalPort(), port);
    server.CloseSck();

    EXPECT_EQ(server.LocalPort(), port);
}

TEST(CNetSocketBind, ArgumentsOutsideTheRulesAreRefused)
{
    CNetSocket server;
    EXPECT_RUNTIME_ERROR(server.Bind(70000, 0), 40014, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(server.Bind(-1, 0), 40014, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(server.Bind("port", 0), 40018, "CNetSocket.BindInternal");
    EXPECT_RUNTIME_ERROR(server.Bind("0x50", 0), 40018, "CNetSocket.BindInternal");
    EXPECT_EQ(server.State(), sckClosed);
}

TEST(CNetSocketBind, AddressThatCannotBeResolvedIsAnInvalidArgument)
{
    CNetSocket server;
    SocketCalls::FailNext(SocketCalls::Call::Resolve, 11001);

    RuntimeError caught = CaughtError([&] { server.Bind(0, "printer-host"); });

    EXPECT_EQ(caught.Number(), 40014);
    EXPECT_EQ(caught.Description(), "Invalid argument");
    EXPECT_EQ(caught.Source(), "CNetSocket.BindInternal");
}

TEST(CNetSocketBind, PortTakenByAnotherListenerIsRaisedWithItsSocketError)
{
    CNetSocket first;
    first.Bind(0, "127.0.0.1");
    first.Listen();
    CNetSocket second;

    RuntimeError caught = CaughtError([&] { second.Bind(first.LocalPort(), "127.0.0.1"); });

    EXPECT_EQ(caught.Number(), 10048);
    EXPECT_EQ(caught.Description(), "Address already in use.");
    EXPECT_EQ(caught.Source(), "CNetSocket.BindInternal");
}

TEST(CNetSocketStateChecks, ListeningTcpSocketRefusesWhatOnlyAClosedOrConnectedOneMayDo)
{
    CNetSocket socket;
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
}

TEST(CNetSocketStateChecks, ValuesOutsideThePortRangeAreRefused)
{
    CNetSocket socket;
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(-1), 40014, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetRemotePort(65536), 40014, "CNetSocket.RemotePort");
    EXPECT_RUNTIME_ERROR(socket.SetLocalPort(65536), 40014, "CNetSocket.LocalPort");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", 0), 40014, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", "nine"), 40018, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", "0x50"), 40018, "CNetSocket.Connect");
    EXPECT_RUNTIME_ERROR(socket.Connect("127.0.0.1", "inf"), 40018, "CNetSocket.Connect");
    socket.SetRemotePort(0);
    socket.SetRemotePort(65535);
    EXPECT_EQ(socket.RemotePort(), 65535);
}

TEST(CNetSocketStateChecks, OpenUdpSocketTakesRemoteFieldsButNotLocalPort)
{
    CNetSocket socket;
    socket.SetProtocol(sckUDPProtocol);
    socket.Bind(0, "127.0.0.1");
    ASSERT_EQ(socket.State(), sckOpen);

    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(9);
    EXPECT_EQ(socket.RemotePort(), 9);
    EXPECT_RUNTIME_ERROR(socket.SetLocalPort(1), 40020, "CNetSocket.LocalPort");
    EXPECT_RUNTIME_ERROR(socket.SetProtocol(0), 40020, "CNetSocket.Protocol");
}

TEST(CNetSocketStateChecks, AcceptOfASocketOwnedByAnotherObjectForgetsTheHandle)
{
    CNetSocket owner;
    owner.Bind(0, "127.0.0.1");
    CNetSocket thief;

    EXPECT_RUNTIME_ERROR(thief.Accept(owner.SocketHandle()), 40006, "CNetSocket.Accept");

    EXPECT_EQ(thief.SocketHandle(), -1);
    EXPECT_EQ(thief.State(), sckClosed);
    EXPECT_EQ(owner.State(), sckOpen);
}

TEST(CNetSocketStateChecks, ClosedSocketHasNothingToCloseOrSend)
{
    CNetSocket socket;
    EXPECT_NO_THROW(socket.CloseSck());
    EXPECT_EQ(socket.State(), sckClosed);
    EXPECT_RUNTIME_ERROR(socket.SendData("x"), 40006, "CNetSocket.SendData");
}

}  // namespace
