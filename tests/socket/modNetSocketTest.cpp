// The socket service, the message window and the routing of notifications.
#include "SocketTestSupport.h"

#include "platform/SocketCalls.h"
#include "socket/modNetSocket.h"

#include <functional>
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

// Adds, frees and reassignments, each on a table holding entries 4, 5 and 6
// of owner 1 with entry 5 freed, and the handles that then route where.
TEST(DispatchTableRules, AddTakesTheFirstFreeEntryFreeNeverShrinksAndTheFirstEntryHoldingAHandleRoutes)
{
    CNetSocket* const first = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* const second = reinterpret_cast<CNetSocket*>(0x20);
    struct Case {
        const char* what;
        std::function<void(DispatchTable&)> change;
        std::vector<int32_t> handles;
        int32_t handle;
        CNetSocket* routed;
    };
    const Case cases[] = {
        {"a new handle takes the free entry", [&](DispatchTable& t) { t.Add(8, second); }, {4, 8, 6}, 8, second},
        {"a handle ahead of every free entry keeps its first owner", [&](DispatchTable& t) { t.Add(4, second); },
         {4, -1, 6}, 4, first},
        {"a duplicate behind a free entry lands in it", [&](DispatchTable& t) { t.Add(6, second); }, {4, 6, 6}, 6,
         second},
        {"freeing never shrinks the table", [&](DispatchTable& t) { t.Free(6); }, {4, -1, -1}, 6, nullptr},
        {"a reassignment changes the first entry only",
         [&](DispatchTable& t) {
             t.Reassign(4, second);
             t.Reassign(9, second);
         },
         {4, -1, 6}, 4, second}};
    for (const Case& c : cases) {
        DispatchTable table;
        for (int32_t handle : {4, 5, 6})
            table.Add(handle, first);
        table.Free(5);
        c.change(table);
        std::vector<int32_t> handles;
        for (const DispatchTable::Entry& entry : table.Entries())
            handles.push_back(entry.handle);
        EXPECT_EQ(handles, c.handles) << c.what;
        EXPECT_EQ(table.Count(), 3) << c.what;
        EXPECT_EQ(table.Find(c.handle), c.routed) << c.what;
    }
}

}  // namespace
