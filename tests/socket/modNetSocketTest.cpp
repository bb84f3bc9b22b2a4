// The socket service, the message window and the routing of notifications.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <memory>

namespace {

TEST(modNetSocketService, StartsWithTheFirstObjectAndStopsWithTheLast)
{
    ASSERT_EQ(modNetSocket::ReferenceCount(), 0);
    EXPECT_FALSE(modNetSocket::ServiceStarted());

    auto first = std::make_unique<CNetSocket>();
    EXPECT_TRUE(modNetSocket::ServiceStarted());
    auto second = std::make_unique<CNetSocket>();
    EXPECT_EQ(modNetSocket::ReferenceCount(), 2);

    first.reset();
    EXPECT_TRUE(modNetSocket::ServiceStarted());
    second.reset();
    EXPECT_FALSE(modNetSocket::ServiceStarted());
    EXPECT_EQ(modNetSocket::ReferenceCount(), 0);
}

TEST(modNetSocketService, FailedStartFailsTheCreationAndIsNotRetried)
{
    ASSERT_EQ(modNetSocket::ReferenceCount(), 0);
    SocketCalls::FailNext(SocketCalls::Call::Startup, 10091);

    RuntimeError caught = CaughtError([] { CNetSocket refused; });
    EXPECT_EQ(caught.Number(), 10091);
    EXPECT_EQ(caught.Description(), "Network subsystem is unavailable.");
    EXPECT_EQ(caught.Source(), "modNetSocket.InitiateProcesses");
    EXPECT_TRUE(modNetSocket::ServiceStarted());

    SocketCalls::FailNext(SocketCalls::Call::Startup, 10091);
    EXPECT_NO_THROW(CNetSocket later);
    SocketCalls::ClearFailures();
    // The failed creation's count is the caller's to give back.
    modNetSocket::FinalizeProcesses();
    EXPECT_FALSE(modNetSocket::ServiceStarted());
}

TEST(modNetSocketWindow, ExistsWhileASocketIsRegisteredAndTablesStartAgainAfterIt)
{
    CNetSocket socket;
    EXPECT_FALSE(modNetSocket::MessageWindowExists());

    socket.Bind(0, "127.0.0.1");
    EXPECT_TRUE(modNetSocket::MessageWindowExists());
    socket.CloseSck();
    EXPECT_FALSE(modNetSocket::MessageWindowExists());
    EXPECT_TRUE(modNetSocket::SocketTable().empty());

    socket.Bind(0, "127.0.0.1");
    ASSERT_EQ(modNetSocket::SocketTable().size(), 1u);
    EXPECT_EQ(modNetSocket::SocketTable()[0].owner, &socket);
}

TEST(modNetSocketRouting, FreedEntryIsReusedByTheNextSocketAndRoutedToItsOwner)
{
    CNetSocket first;
    CNetSocket listener;
    first.Bind(0, "127.0.0.1");
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    first.CloseSck();
    ASSERT_EQ(modNetSocket::SocketTable()[0].handle, -1);

    CNetSocket next;
    int connects = 0;
    next.Events.Connect = [&] { ++connects; };
    next.Connect("127.0.0.1", listener.LocalPort());

    std::vector<DispatchTable::Entry> table = modNetSocket::SocketTable();
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].handle, next.SocketHandle());
    EXPECT_EQ(table[0].owner, &next);
    EXPECT_TRUE(PumpUntil([&] { return connects == 1; }));
}

TEST(modNetSocketRouting, AcceptedConnectionIsRoutedToTheOwnerThatTookIt)
{
    CNetSocket listener;
    CNetSocket server;
    listener.Events.ConnectionRequest = [&](int32_t requestID) { server.Accept(requestID); };
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    CNetSocket client;
    client.Connect("127.0.0.1", listener.LocalPort());
    ASSERT_TRUE(PumpUntil([&] { return server.State() == sckConnected; }));

    EXPECT_FALSE(modNetSocket::IsPendingAccept(server.SocketHandle()));
    bool routedToServer = false;
    for (const DispatchTable::Entry& entry : modNetSocket::SocketTable())
        routedToServer |= entry.handle == server.SocketHandle() && entry.owner == &server;
    EXPECT_TRUE(routedToServer);
}

TEST(modNetSocketRouting, LookupWhoseCancelFailsNeverReachesItsDestroyedOwner)
{
    CNetSocket listener;
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    auto client = std::make_unique<CNetSocket>();
    client->Connect("localhost", listener.LocalPort());
    ASSERT_EQ(client->State(), sckResolvingHost);
    const CNetSocket* gone = client.get();
    SocketCalls::FailNext(SocketCalls::Call::CancelLookup, 10022);

    client.reset();

    for (const DispatchTable::Entry& entry : modNetSocket::LookupTable())
        EXPECT_NE(entry.owner, gone);
    uint64_t before = modNetSocket::MessagesRouted();
    EXPECT_TRUE(PumpUntil([&] { return modNetSocket::MessagesRouted() > before; }))
        << "the look-up's completion never came, so nothing here is tested";
    SocketCalls::ClearFailures();
}

TEST(DispatchTableRules, AddTakesTheFirstFreeEntryAndFreeNeverShrinks)
{
    CNetSocket* a = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* b = reinterpret_cast<CNetSocket*>(0x20);
    DispatchTable table;
    table.Add(5, a);
    table.Add(6, b);
    table.Add(7, a);

    table.Free(6);
    table.Free(5);
    EXPECT_EQ(table.Count(), 3);
    table.Add(8, b);

    EXPECT_EQ(table.Entries()[0].handle, 8);
    EXPECT_EQ(table.Entries()[1].handle, -1);
    EXPECT_EQ(table.Find(8), b);
    EXPECT_EQ(table.Find(5), nullptr);
    EXPECT_EQ(table.Count(), 3);
}

TEST(DispatchTableRules, HandleAlreadyAheadOfEveryFreeEntryKeepsItsFirstOwner)
{
    CNetSocket* first = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* second = reinterpret_cast<CNetSocket*>(0x20);
    DispatchTable table;
    table.Add(5, first);
    table.Add(6, first);
    table.Free(6);

    table.Add(5, second);

    EXPECT_EQ(table.Find(5), first);
    EXPECT_EQ(table.Entries()[1].handle, -1);
}

TEST(DispatchTableRules, DuplicateBehindAFreeEntryLandsInTheFreeEntry)
{
    CNetSocket* first = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* second = reinterpret_cast<CNetSocket*>(0x20);
    DispatchTable table;
    table.Add(4, first);
    table.Add(5, first);
    table.Free(4);

    table.Add(5, second);

    EXPECT_EQ(table.Entries()[0].handle, 5);
    EXPECT_EQ(table.Find(5), second) << "the first entry holding the handle routes";
}

TEST(DispatchTableRules, ReassignChangesOnlyTheFirstEntryHoldingTheHandle)
{
    CNetSocket* holder = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* owner = reinterpret_cast<CNetSocket*>(0x20);
    DispatchTable table;
    table.Add(9, holder);

    table.Reassign(9, owner);
    table.Reassign(10, owner);

    EXPECT_EQ(table.Find(9), owner);
    EXPECT_EQ(table.Count(), 1);
}

}  // namespace
