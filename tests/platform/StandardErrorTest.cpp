// Lines on standard error: a repeat is written once, then once a minute
// with the count of the times it came meanwhile, on the injected clock.
#include "platform/StandardError.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace {

TEST(StandardErrorTest, ARepeatedLineIsWrittenOnceThenOnceAMinuteWithItsCount)
{
    FakeClock clock;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        ReportLine("a reset");
        ReportLine("another line");
        clock.Advance(19.9);
    }
    ReportLine("a reset");
    clock.Advance(60);
    ReportLine("a reset");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "StatusMonitorQ62m: a reset\nStatusMonitorQ62m: another line\n"
              "StatusMonitorQ62m: a reset (3 more times since it was last written)\n");
}

}  // namespace
