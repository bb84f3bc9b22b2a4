// The error texts and the translation of host error codes into them.
#include "platform/SocketCalls.h"
#include "socket/WinsockErrorText.h"

#include <gtest/gtest.h>
#include <netdb.h>

namespace {

TEST(WinsockErrorText, EveryNumberAHostErrorBecomesHasATextAndGapsOfTheTableAndForeignNumbersAreUnknown)
{
    for (int32_t number : {10059, 10062, 10063, 10064, 10066, 10068, 10090, 0, -1, 7, 40006, 40020, 11005})
        EXPECT_EQ(GetWinsockErrorText(number), "Unknown error.") << number;
    for (int error = 1; error < 134; ++error) {
        const int32_t number = SocketCalls::FromErrno(error);
        EXPECT_NE(GetWinsockErrorText(number), "Unknown error.") << "errno " << error << " became " << number;
    }
    for (int error : {EAI_NONAME, EAI_AGAIN, EAI_FAIL, EAI_NODATA, EAI_MEMORY})
        EXPECT_NE(GetWinsockErrorText(SocketCalls::FromResolver(error)), "Unknown error.") << error;
    EXPECT_EQ(SocketCalls::FromErrno(0), 0);
    EXPECT_EQ(SocketCalls::FromResolver(0), 0);
}

}  // namespace
