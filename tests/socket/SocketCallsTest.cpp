// The socket-call wrapper on real loopback sockets: its numbers, its
// failure seam and its observer.
#include "platform/SocketCalls.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

const uint32_t kLoopback = htonl(0x7F000001);

class SocketCallsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SocketCalls::ClearFailures();
        SocketCalls::SetObserver(nullptr);
        for (int32_t handle : opened)
            SocketCalls::Close(handle);
    }

    int32_t Open(bool datagram)
    {
        int32_t handle = -1;
        EXPECT_EQ(SocketCalls::Create(datagram, handle), 0);
        opened.push_back(handle);
        return handle;
    }

    SocketCalls::Address BoundLoopback(int32_t handle)
    {
        EXPECT_EQ(SocketCalls::Bind(handle, {kLoopback, 0}), 0);
        SocketCalls::Address local;
        EXPECT_EQ(SocketCalls::LocalName(handle, local), 0);
        return local;
    }

    std::vector<int32_t> opened;
};

TEST_F(SocketCallsTest, BlockingConnectToAClosedPortIsRefused)
{
    int32_t probe = Open(false);
    SocketCalls::Address unused = BoundLoopback(probe);
    int32_t client = Open(false);

    EXPECT_EQ(SocketCalls::Connect(client, unused), 10061);
}

TEST_F(SocketCallsTest, ReceiveWithNothingWaitingOnANonBlockingSocketWouldBlock)
{
    int32_t socket = Open(true);
    BoundLoopback(socket);
    ASSERT_EQ(SocketCalls::SetNonBlocking(socket), 0);
    char buffer[4];
    size_t received = 0;

    EXPECT_EQ(SocketCalls::Recv(socket, buffer, sizeof buffer, received), 10035);
}

TEST_F(SocketCallsTest, DatagramLongerThanTheBufferFillsItAndAnswers10040)
{
    int32_t receiver = Open(true);
    SocketCalls::Address to = BoundLoopback(receiver);
    int32_t sender = Open(true);
    size_t sent = 0;
    ASSERT_EQ(SocketCalls::SendTo(sender, "abcdef", 6, to, sent), 0);
    char buffer[3] = {};
    size_t received = 0;
    SocketCalls::Address from;

    EXPECT_EQ(SocketCalls::RecvFrom(receiver, buffer, sizeof buffer, true, received, from), 10040);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(from.address, kLoopback);
    int32_t pending = 0;
    EXPECT_EQ(SocketCalls::PendingBytes(receiver, pending), 0);
    EXPECT_EQ(pending, 6) << "a peek must leave the datagram";
}

TEST_F(SocketCallsTest, InjectedFailureHitsOnlyTheCountedCallsOfItsKind)
{
    int32_t socket = -1;
    SocketCalls::FailNext(SocketCalls::Call::Create, 10024, 2);

    EXPECT_EQ(SocketCalls::Create(false, socket), 10024);
    EXPECT_EQ(SocketCalls::Create(false, socket), 10024);
    EXPECT_EQ(socket, -1);
    EXPECT_EQ(SocketCalls::Create(false, socket), 0);
    opened.push_back(socket);
}

TEST_F(SocketCallsTest, ObserverLearnsOfReceivesAndClosesWithTheirResults)
{
    std::vector<std::pair<SocketCalls::Call, int32_t>> seen;
    SocketCalls::SetObserver([&](SocketCalls::Call call, int32_t, int32_t error, int32_t) {
        seen.emplace_back(call, error);
    });
    int32_t socket = Open(true);
    BoundLoopback(socket);
    SocketCalls::SetNonBlocking(socket);
    char byte = 0;
    size_t received = 0;

    SocketCalls::Recv(socket, &byte, 1, received);
    int32_t ignored = 0;
    SocketCalls::Probe(socket, ignored);
    SocketCalls::Close(socket);
    opened.clear();

    ASSERT_EQ(seen.size(), 2u) << "a readiness probe is not a receive";
    EXPECT_EQ(seen[0], std::make_pair(SocketCalls::Call::Recv, int32_t(10035)));
    EXPECT_EQ(seen[1], std::make_pair(SocketCalls::Call::Close, int32_t(0)));
}

}  // namespace
