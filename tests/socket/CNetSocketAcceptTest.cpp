// The hand-over of accepted connections and what an owner may do inside
// ConnectionRequest and the other handlers. Bytes over an accepted
// connection are the transfer test's and the status server's.
#include "SocketTestSupport.h"

#include "socket/modNetSocket.h"

#include <memory>

namespace {

TEST_F(ListenerOnLoopback, TheOwnerMayDestroyTheListenerOrTheAcceptedSocketInsideAHandler)
{
    int clientCloses = 0;
    client.Events.CloseSck = [&] { ++clientCloses; };
    auto server = std::make_unique<CNetSocket>();
    auto owned = std::make_unique<CNetSocket>();
    owned->Events.ConnectionRequest = [&](int32_t requestID) { server->Accept(requestID); };
    owned->Bind(0, "127.0.0.1");
    owned->Listen();
    server->Events.DataArrival = [&](int32_t) { server.reset(); };
    client.Connect("127.0.0.1", owned->LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return server->State() == sckConnected; }));
    client.SendData("bye");
    EXPECT_TRUE(PumpUntil([&] { return clientCloses == 1; }));
    EXPECT_EQ(modNetSocket::ReferenceCount(), 4);

    owned->Events.ConnectionRequest = [&](int32_t) { owned.reset(); };
    client.CloseSck();
    client.Connect("127.0.0.1", owned->LocalPort());
    EXPECT_TRUE(PumpUntil([&] { return clientCloses == 2; }));
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(modNetSocket::ReferenceCount(), 3);
}

// A handler that takes nothing, or raises an error: the connection is
// closed, nothing of it is left, and the listener listens on.
TEST_F(ListenerOnLoopback, AConnectionNobodyTakesIsClosedAndTheListenerListensOn)
{
    int clientCloses = 0;
    client.Events.CloseSck = [&] { ++clientCloses; };
    for (bool raises : {false, true}) {
        int32_t offered = -1;
        listener.Events.ConnectionRequest = [&](int32_t requestID) {
            ++requests;
            offered = requestID;
            if (raises)
                throw RuntimeError(40020, "Invalid operation at current state", "frmMain.tcpServer1_ConnectionRequest");
        };
        testing::internal::CaptureStderr();
        client.CloseSck();
        client.Connect("127.0.0.1", listener.LocalPort());
        const bool closed = PumpUntil([&] { return clientCloses == 1 + raises; });
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(closed);
        EXPECT_EQ(told.find("frmMain.tcpServer1_ConnectionRequest") != std::string::npos, raises) << told;
        EXPECT_EQ(listener.State(), sckListening);
        EXPECT_FALSE(modNetSocket::IsPendingAccept(offered));
        EXPECT_EQ(modNetSocket::ReferenceCount(), 3) << "the holder outlived its connection";
    }
    EXPECT_EQ(requests, 2);
}

TEST_F(ListenerOnLoopback, AFailedAcceptIsAnErrorEventFromPostSocket)
{
    std::vector<ErrorRecord> told;
    RecordErrors(listener, told);
    SocketCalls::FailNext(SocketCalls::Call::Accept, 10053);
    client.Connect("127.0.0.1", listener.LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return !told.empty(); }));
    const uint64_t routed = modNetSocket::MessagesRouted();
    PumpFor(300);
    EXPECT_EQ(modNetSocket::MessagesRouted(), routed) << "the connection that could not be taken is announced again";
    ExpectOneError(told, listener, 10053, "CNetSocket.PostSocket");
}

}  // namespace
