// The metrics endpoint's deadline, on the injected clock: a connection goes
// five seconds after its accept or its last answer unless a request
// completes first.
#include "support/FakeClock.h"
#include "support/LoadedForm.h"
#include "support/StatusClient.h"

#include <gtest/gtest.h>

namespace {

TEST(MetricsServerTest, AConnectionWithoutACompleteRequestGoesFiveSecondsAfterItsAcceptOrItsLastAnswer)
{
    FakeClock clock;
    TempDir dir;
    const int32_t port = FreeLoopbackPort();
    auto form = LoadForm(dir, PrintersIni(1, "Port=-1\n", "MetricsPort=" + std::to_string(port)));
    StatusClient slow(port);
    StatusClient kept(port);
    ASSERT_TRUE(slow.Connected() && kept.Connected());
    slow.Send("GET /metrics HTTP/1.1\r\n");
    EXPECT_FALSE(slow.ClosedWithin(300)) << "both are accepted";
    clock.Advance(4.5);
    kept.Send("GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_NE(kept.ReceiveFor(300).find("q62m_start_time_seconds"), std::string::npos);
    EXPECT_FALSE(slow.ClosedWithin(700)) << "no time-out before five seconds";
    clock.Advance(1.0);
    EXPECT_TRUE(slow.ClosedWithin(1500)) << "an incomplete request is dropped";
    EXPECT_FALSE(kept.ClosedWithin(700)) << "an answer starts the five seconds again";
    clock.Advance(4.5);
    EXPECT_TRUE(kept.ClosedWithin(1500)) << "an idle kept connection is dropped";
}

}  // namespace
