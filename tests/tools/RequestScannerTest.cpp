#include "tools/printer-sim/RequestScanner.h"

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<RequestScanner::Piece>;

Pieces Feed(RequestScanner& scanner, const Bytes& bytes)
{
    return scanner.Feed(bytes.data(), bytes.size());
}

// "R" for a request, hex for ignored bytes: one string per piece.
std::vector<std::string> Describe(const Pieces& pieces)
{
    std::vector<std::string> described;
    for (const auto& piece : pieces)
        described.push_back(piece.request ? "R" : FormatHex(piece.bytes));
    return described;
}

using Strings = std::vector<std::string>;

TEST(RequestScanner, FindsARequestSentInOneWrite)
{
    RequestScanner scanner;
    EXPECT_EQ(Describe(Feed(scanner, {0x1D, 0x61, 0x01})), Strings{"R"});
}

TEST(RequestScanner, HoldsASplitRequestUntilItsLastByte)
{
    RequestScanner scanner;
    EXPECT_TRUE(Feed(scanner, {0x1D}).empty());
    EXPECT_TRUE(Feed(scanner, {0x61}).empty());
    EXPECT_EQ(Describe(Feed(scanner, {0x01})), Strings{"R"});
}

TEST(RequestScanner, ReportsOtherBytesInOrderAroundRequests)
{
    RequestScanner scanner;
    EXPECT_EQ(Describe(Feed(scanner, {0x41, 0x1D, 0x61, 0x01, 0x42, 0x43})),
              (Strings{"41", "R", "42 43"}));
}

TEST(RequestScanner, FindsEachOfSeveralRequestsInOneWrite)
{
    RequestScanner scanner;
    EXPECT_EQ(Describe(Feed(scanner, {0x1D, 0x61, 0x01, 0x1D, 0x61, 0x01})), (Strings{"R", "R"}));
}

TEST(RequestScanner, StartsOverAtARequestThatInterruptsABrokenOne)
{
    RequestScanner scanner;
    EXPECT_EQ(Describe(Feed(scanner, {0x1D, 0x1D, 0x61, 0x01})), (Strings{"1D", "R"}));
    EXPECT_EQ(Describe(Feed(scanner, {0x1D, 0x61, 0x1D, 0x61, 0x01})), (Strings{"1D 61", "R"}));
}

TEST(RequestScanner, IgnoresAHeldPrefixOnceItGoesWrong)
{
    RequestScanner scanner;
    EXPECT_TRUE(Feed(scanner, {0x1D, 0x61}).empty());
    EXPECT_EQ(Describe(Feed(scanner, {0x02})), Strings{"1D 61 02"});
    EXPECT_EQ(Describe(Feed(scanner, {0x1D, 0x61, 0x01})), Strings{"R"});
}

}
