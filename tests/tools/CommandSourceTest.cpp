#include "tools/printer-sim/CommandSource.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
const CommandSource::TimePoint kStart{};

TEST(CommandSource, HandsOutOnlyCompleteLinesWithoutLineEnds)
{
    CommandSource source("stdin");
    source.Feed("paper lo", 8);
    EXPECT_FALSE(source.Next(kStart));
    source.Feed("w\r\nhead", 7);
    EXPECT_EQ(source.Next(kStart), "paper low");
    EXPECT_FALSE(source.Next(kStart));
    source.Finish();
    EXPECT_EQ(source.Next(kStart), "head");
    EXPECT_EQ(source.Location(), "stdin:2");
    EXPECT_TRUE(source.Finished());
}

TEST(CommandSource, SleepHoldsBackTheNextLineUntilItsTime)
{
    CommandSource source("s");
    source.Feed("a\nb\n", 4);
    EXPECT_EQ(source.Next(kStart), "a");
    source.SleepUntil(kStart + 300ms);
    EXPECT_EQ(source.WakeTime(), kStart + 300ms);
    EXPECT_FALSE(source.Next(kStart + 299ms));
    EXPECT_EQ(source.Next(kStart + 300ms), "b");
    EXPECT_FALSE(source.WakeTime());
}

TEST(CommandSource, ASleepWithNothingQueuedNeedsNoWakeUp)
{
    CommandSource source("s");
    source.SleepUntil(kStart + 1s);
    EXPECT_FALSE(source.WakeTime());
}

TEST(CommandSource, LoadsAScriptAndNamesItsLines)
{
    TempDir dir;
    dir.Write("faults.txt", "paper low\nsleep 10\nhead open");
    CommandSource source(dir.File("faults.txt"));
    std::string error;
    ASSERT_TRUE(source.LoadFile(dir.File("faults.txt"), error)) << error;
    EXPECT_EQ(source.Next(kStart), "paper low");
    EXPECT_EQ(source.Next(kStart), "sleep 10");
    EXPECT_EQ(source.Next(kStart), "head open");
    EXPECT_EQ(source.Location(), dir.File("faults.txt") + ":3");
}

TEST(CommandSource, AMissingScriptIsAnErrorNamingIt)
{
    CommandSource source("none");
    std::string error;
    EXPECT_FALSE(source.LoadFile("/nonexistent/script.txt", error));
    EXPECT_NE(error.find("/nonexistent/script.txt"), std::string::npos);
}

}
