// Signals become events of the user-interface thread.
#include "platform/EventPump.h"
#include "platform/SignalBridge.h"
#include "support/StatusClient.h"

#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(SignalBridgeTest, EachWatchedSignalIsReportedInOrderWhenEventsAreHandledNotInsideItsHandler)
{
    std::vector<int> received;
    SignalBridge bridge({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&bridge, &SignalBridge::Received, [&](int number) { received.push_back(number); });
    raise(SIGINT);
    raise(SIGTERM);
    raise(SIGHUP);
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(PumpUntil([&] { return received.size() == 3; }, 2000));
    EXPECT_EQ(received, (std::vector<int>{SIGINT, SIGTERM, SIGHUP}));
}

volatile sig_atomic_t earlierHandlerRan = 0;

TEST(SignalBridgeTest, TheEarlierHandlerComesBackWithTheBridgesEnd)
{
    struct sigaction earlier {};
    earlier.sa_handler = [](int) { earlierHandlerRan = 1; };
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved {};
    ASSERT_EQ(sigaction(SIGHUP, &earlier, &saved), 0);
    {
        SignalBridge bridge({SIGHUP});
        raise(SIGHUP);
        DoEvents();
        EXPECT_EQ(earlierHandlerRan, 0);
    }
    raise(SIGHUP);
    EXPECT_EQ(earlierHandlerRan, 1);
    sigaction(SIGHUP, &saved, nullptr);
}

}  // namespace
