// The socket service, the message window and the routing of notifications.
#include "SocketTestSupport.h"

#include "socket/modNetSocket.h"

#include <functional>
#include <memory>

namespace {

TEST(modNetSocketService, StartsWithTheFirstObjectAndStopsWithTheLastAndItsWindowLivesWhileASocketIsRegistered)
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

// Adds, frees and reassignments, each on a table holding entries 4, 5 and 6
// of owner 1 with entry 5 freed: the handles left, and where one routes.
TEST(DispatchTableRules, AddTakesTheFirstFreeEntryFreeNeverShrinksAndTheFirstEntryHoldingAHandleRoutes)
{
    CNetSocket* const first = reinterpret_cast<CNetSocket*>(0x10);
    CNetSocket* const second = reinterpret_cast<CNetSocket*>(0x20);
    const std::tuple<const char*, std::function<void(DispatchTable&)>, std::vector<int32_t>, int32_t, CNetSocket*>
        cases[] = {
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
    for (const auto& [what, change, expected, handle, routed] : cases) {
        DispatchTable table;
        for (int32_t h : {4, 5, 6})
            table.Add(h, first);
        table.Free(5);
        change(table);
        std::vector<int32_t> handles;
        for (const DispatchTable::Entry& entry : table.Entries())
            handles.push_back(entry.handle);
        EXPECT_EQ(handles, expected) << what;
        EXPECT_EQ(table.Count(), 3) << what;
        EXPECT_EQ(table.Find(handle), routed) << what;
    }
}

}  // namespace
