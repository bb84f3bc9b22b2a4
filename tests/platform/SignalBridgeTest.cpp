// Signals become events of the user-interface thread.
#include "platform/EventPump.h"
#include "platform/SignalBridge.h"
#include "support/StatusClient.h"

#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

class SignalBridgeTest : public ::testing::Test {
protected:
    void Watch(SignalBridge& bridge)
    {
        QObject::connect(&bridge, &SignalBridge::Received, [this](int number) { received_.push_back(number); });
    }
    std::vector<int> received_;
};

TEST_F(SignalBridgeTest, ASignalIsReportedWhenEventsAreHandledNotInsideItsHandler)
{
    SignalBridge bridge({SIGHUP});
    Watch(bridge);
    ASSERT_EQ(raise(SIGHUP), 0);
    EXPECT_TRUE(received_.empty());
    EXPECT_TRUE(PumpUntil([this] { return !received_.empty(); }, 2000));
    EXPECT_EQ(received_, std::vector<int>{SIGHUP});
}

TEST_F(SignalBridgeTest, EachWatchedSignalIsReportedInTheOrderItCame)
{
    SignalBridge bridge({SIGTERM, SIGINT, SIGHUP});
    Watch(bridge);
    raise(SIGINT);
    raise(SIGTERM);
    raise(SIGHUP);
    EXPECT_TRUE(PumpUntil([this] { return received_.size() == 3; }, 2000));
    EXPECT_EQ(received_, (std::vector<int>{SIGINT, SIGTERM, SIGHUP}));
}

volatile sig_atomic_t earlierHandlerRan = 0;

TEST_F(SignalBridgeTest, TheEarlierHandlerComesBackWithTheBridgesEnd)
{
    struct sigaction earlier {};
    earlier.sa_handler = [](int) { earlierHandlerRan = 1; };
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved {};
    ASSERT_EQ(sigaction(SIGHUP, &earlier, &saved), 0);
    {
        SignalBridge bridge({SIGHUP});
        Watch(bridge);
        raise(SIGHUP);
        DoEvents();
        EXPECT_EQ(earlierHandlerRan, 0);
    }
    raise(SIGHUP);
    EXPECT_EQ(earlierHandlerRan, 1);
    sigaction(SIGHUP, &saved, nullptr);
}

}  // namespace
