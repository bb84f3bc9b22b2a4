// Listening, the hand-over of accepted connections and what an owner may do
// inside ConnectionRequest.
#include "SocketTestSupport.h"

#include "platform/EventPump.h"
#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <memory>

namespace {

class Listener : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener->Bind(0, "127.0.0.1");
        listener->Listen();
        port = listener->LocalPort();
    }

    void ConnectClient()
    {
        client.Connect("127.0.0.1", port);
        ASSERT_TRUE(PumpUntil([this] { return client.State() == sckConnected; }));
    }

    std::unique_ptr<CNetSocket> listener = std::make_unique<CNetSocket>();
    int32_t port = 0;
    CNetSocket client;
};

TEST_F(Listener, AnAcceptedConnectionCarriesBytesBothWaysAndTheCallerIsShownOnlyDuringTheEvent)
{
    CNetSocket server;
    std::string atServer;
    std::string atClient;
    std::string callerAddress;
    int32_t callerPort = -1;
    listener->Events.ConnectionRequest = [&](int32_t requestID) {
        callerAddress = listener->RemoteHostIP();
        callerPort = listener->RemotePort();
        server.Accept(requestID);
    };
    server.Events.DataArrival = [&](int32_t) {
        server.GetData(atServer);
        server.SendData(std::string("\x10\x00\xF0", 3));
    };
    client.Events.DataArrival = [&](int32_t) { client.GetData(atClient); };

    ConnectClient();
    ASSERT_TRUE(PumpUntil([&] { return server.State() == sckConnected; }));
    client.SendData(std::string("\x1D\x61\x01"));

    ASSERT_TRUE(PumpUntil([&] { return atClient.size() == 3; }));
    EXPECT_EQ(atServer, "\x1D\x61\x01");
    EXPECT_EQ(atClient, std::string("\x10\x00\xF0", 3));
    EXPECT_EQ(server.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(server.RemotePort(), client.LocalPort());
    EXPECT_EQ(server.LocalPort(), port);
    EXPECT_EQ(callerAddress, "127.0.0.1") << "the listener shows the caller during the event";
    EXPECT_EQ(callerPort, client.LocalPort());
    EXPECT_EQ(listener->RemoteHostIP(), "") << "and its own fields after it";
    EXPECT_EQ(listener->RemotePort(), 0);
    EXPECT_EQ(listener->State(), sckListening);
}

TEST_F(Listener, TheOwnerMayDestroyTheListenerOrTheAcceptedSocketInsideAHandler)
{
    int clientCloses = 0;
    client.Events.CloseSck = [&] { ++clientCloses; };
    auto server = std::make_unique<CNetSocket>();
    listener->Events.ConnectionRequest = [&](int32_t requestID) { server->Accept(requestID); };
    server->Events.DataArrival = [&](int32_t) { server.reset(); };
    ConnectClient();
    ASSERT_TRUE(PumpUntil([&] { return server->State() == sckConnected; }));
    client.SendData("bye");
    EXPECT_TRUE(PumpUntil([&] { return clientCloses == 1; }));
    EXPECT_EQ(server, nullptr);
    EXPECT_EQ(modNetSocket::ReferenceCount(), 2);

    listener->Events.ConnectionRequest = [&](int32_t) { listener.reset(); };
    client.CloseSck();
    ConnectClient();
    EXPECT_TRUE(PumpUntil([&] { return clientCloses == 2; }));
    EXPECT_EQ(listener, nullptr);
    EXPECT_EQ(modNetSocket::ReferenceCount(), 1);
}

// A handler that takes nothing, or raises an error: the connection is
// closed, nothing of it is left, and the listener listens on with its own
// fields.
TEST_F(Listener, AConnectionNobodyTakesIsClosedAndTheListenerListensOn)
{
    int requests = 0;
    int clientCloses = 0;
    client.Events.CloseSck = [&] { ++clientCloses; };
    for (bool raises : {false, true}) {
        int32_t offered = -1;
        listener->Events.ConnectionRequest = [&](int32_t requestID) {
            ++requests;
            offered = requestID;
            if (raises)
                throw RuntimeError(40020, "Invalid operation at current state", "frmMain.tcpServer1_ConnectionRequest");
        };
        testing::internal::CaptureStderr();
        client.CloseSck();
        ConnectClient();
        const bool closed = PumpUntil([&] { return clientCloses == requests; });
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(closed);
        EXPECT_EQ(told.find("frmMain.tcpServer1_ConnectionRequest") != std::string::npos, raises) << told;
        EXPECT_EQ(listener->State(), sckListening);
        EXPECT_EQ(listener->RemotePort(), 0) << "the listener's own fields come back";
        EXPECT_EQ(listener->RemoteHostIP(), "");
        EXPECT_FALSE(modNetSocket::IsPendingAccept(offered));
        EXPECT_EQ(modNetSocket::ReferenceCount(), 2) << "the holder outlived its connection";
    }
    EXPECT_EQ(requests, 2);
}

TEST_F(Listener, FailedAcceptIsAnErrorEventFromPostSocket)
{
    std::vector<ErrorRecord> errors;
    RecordErrors(*listener, errors);
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10053);

    client.Connect("127.0.0.1", port);

    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
    ExpectOneError(errors, *listener, 10053, "CNetSocket.PostSocket");
}

}  // namespace
