// The error texts and the translation of host error codes into them.
#include "platform/SocketCalls.h"
#include "socket/WinsockErrorText.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

namespace {

TEST(WinsockErrorText, NumbersOfTheTableHaveTheirTexts)
{
    EXPECT_EQ(GetWinsockErrorText(10004), "Interrupted function call.");
    EXPECT_EQ(GetWinsockErrorText(10040), "Message too long.");
    EXPECT_EQ(GetWinsockErrorText(10061), "Connection refused.");
    EXPECT_EQ(GetWinsockErrorText(10093), "Successful WSAStartup not yet performed.");
    EXPECT_EQ(GetWinsockErrorText(11004), "Valid name, no data record of requested type.");
}

TEST(WinsockErrorText, GapsOfTheTableAndForeignNumbersAreUnknown)
{
    for (int32_t number : {10059, 10062, 10063, 10064, 10066, 10068, 10090, 0, -1, 7, 40006, 40020, 11005})
        EXPECT_EQ(GetWinsockErrorText(number), "Unknown error.") << number;
}

TEST(HostErrorTranslation, ErrnoValuesBecomeTheirWindowsSocketsNumbers)
{
    EXPECT_EQ(SocketCalls::FromErrno(0), 0);
    EXPECT_EQ(SocketCalls::FromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketCalls::FromErrno(EAGAIN), 10035);
    EXPECT_EQ(SocketCalls::FromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(SocketCalls::FromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(SocketCalls::FromErrno(EADDRNOTAVAIL), 10049);
    EXPECT_EQ(SocketCalls::FromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketCalls::FromErrno(EPIPE), 10054);
    EXPECT_EQ(SocketCalls::FromErrno(EBADF), 10038);
    EXPECT_EQ(SocketCalls::FromErrno(EMSGSIZE), 10040);
    EXPECT_EQ(SocketCalls::FromErrno(ENOENT), 11003) << "an unexpected code is a nonrecoverable error";
}

TEST(HostErrorTranslation, ResolverResultsBecomeHostNumbers)
{
    EXPECT_EQ(SocketCalls::FromResolver(0), 0);
    EXPECT_EQ(SocketCalls::FromResolver(EAI_NONAME), 11001);
    EXPECT_EQ(SocketCalls::FromResolver(EAI_AGAIN), 11002);
    EXPECT_EQ(SocketCalls::FromResolver(EAI_FAIL), 11003);
    EXPECT_EQ(SocketCalls::FromResolver(EAI_NODATA), 11004);
}

TEST(HostErrorTranslation, EveryTranslatedNumberHasAText)
{
    for (int error = 1; error < 134; ++error) {
        int32_t number = SocketCalls::FromErrno(error);
        EXPECT_NE(GetWinsockErrorText(number), "Unknown error.") << "errno " << error << " became " << number;
    }
}

TEST(Ipv4Text, DottedFormsAndNumbersConvertButAllOnesDoesNot)
{
    EXPECT_EQ(SocketCalls::InetAddr("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(SocketCalls::InetAddr("127.1"), htonl(0x7F000001));
    EXPECT_EQ(SocketCalls::InetAddr("0"), 0u);
    EXPECT_EQ(SocketCalls::InetAddr("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(SocketCalls::InetAddr("localhost"), 0xFFFFFFFFu);
    EXPECT_EQ(SocketCalls::InetNtoa(htonl(0x7F000001)), "127.0.0.1");
}

}  // namespace
