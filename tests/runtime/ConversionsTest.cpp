// The number conversions of the configuration.
#include "runtime/Conversions.h"
#include "support/RuntimeErrors.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

TEST(ConversionsTest, LeadingNumberReadsAsFarAsTheNumberGoes)
{
    const std::pair<std::string, double> cases[] = {
        {"3 printers", 3}, {"&H10", 16},      {"abc", 0},        {"", 0},           {"  42  ", 42},
        {"1 2 3", 123},    {"1\t2\n3", 123},  {"-4", -4},        {"+7", 7},         {"2.5", 2.5},
        {".5", 0.5},       {"1.2.3", 1.2},    {"1E3", 1000},     {"1d2", 100},      {"2.5e-1", 0.25},
        {"1e", 1},         {"1e+", 1},        {"05000", 5000},   {"&o17", 15},      {"&h1F", 31},
        {"&HFFFF", -1},    {"&H10000", 65536}, {"&H", 0},        {"&X12", 0},       {"- 5", -5},
        {"+-3", 0},        {"\r5", 0},        {"6\0" "1"s, 6},   {"\0" "7"s, 0},   {"&H2", 2}};
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(text), value) << "text: " << text;
}

TEST(ConversionsTest, RoundingTakesAHalfToTheEvenNeighbour)
{
    const std::pair<double, int16_t> cases[] = {{2.5, 2},       {3.5, 4},         {-2.5, -2},          {0.5, 0},
                                                {1.5, 2},       {2.4999, 2},      {2.5001, 3},         {32767.4, 32767},
                                                {-32768.5, -32768}, {-32767.5, -32768}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(RoundToInt16(value), rounded) << value;
    EXPECT_EQ(RoundToInt32(115200.5), 115200);
    EXPECT_EQ(RoundToInt32(115201.5), 115202);
    EXPECT_EQ(RoundToInt32(-2147483648.0), INT32_MIN);
}

TEST(ConversionsTest, AWholeTextMustBeOneNumber)
{
    const std::pair<const char*, int16_t> cases[] = {{"-1", -1}, {" 3 ", 3},  {"2.5", 2},   {"3.5", 4},
                                                     {"1e1", 10}, {"&H10", 16}, {"+2", 2},   {"\t7", 7}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(WholeTextToInt16(text), value) << text;
    EXPECT_EQ(WholeTextToInt32(" 250000 "), 250000);
    EXPECT_EQ(WholeTextToInt32("2.5E5"), 250000);
    EXPECT_EQ(WholeTextToInt32("&H4B00"), 19200);
    // Numbers written back as text have no leading blank or zeros.
    EXPECT_EQ(PlainDecimal(5000), "5000");
    EXPECT_EQ(PlainDecimal(65535), "65535");
    EXPECT_EQ(PlainDecimal(5000.5), "5000.5");
}

// What does not convert: a text that is no number is a type mismatch, a
// number out of its range an overflow.
TEST(ConversionsTest, TextThatIsNoNumberOrDoesNotFitIsRefused)
{
    for (const std::string& text : {""s, "   "s, "USB"s, "3 printers"s, "1 2"s, "&H"s, "3x"s, "."s, "5\0" "3"s, "5\0"s})
        EXPECT_RUNTIME_ERROR(WholeTextToInt16(text), kErrTypeMismatch, "");
    EXPECT_RUNTIME_ERROR(WholeTextToInt32("115200 baud"), kErrTypeMismatch, "");
    for (const char* text : {"32768", "-32769", "1e10", "&H10000"})
        EXPECT_RUNTIME_ERROR(WholeTextToInt16(text), kErrOverflow, "");
    EXPECT_RUNTIME_ERROR(WholeTextToInt32("1E10"), kErrOverflow, "");
    for (double value : {32767.5, 32768.0, -32768.6, 1e300, std::nan("")})
        EXPECT_RUNTIME_ERROR(RoundToInt16(value), kErrOverflow, "");
    for (double value : {2147483647.5, -2147483649.0, std::nan("")})
        EXPECT_RUNTIME_ERROR(RoundToInt32(value), kErrOverflow, "");
    EXPECT_RUNTIME_ERROR(CheckedInt16(34340), kErrOverflow, "");
    EXPECT_RUNTIME_ERROR(CheckedInt16(-32769), kErrOverflow, "");
    EXPECT_EQ(CheckedInt16(31240), 31240);
    EXPECT_EQ(CaughtError([] { RoundToInt16(40000); }).Description(), "Overflow");
    EXPECT_EQ(CaughtError([] { WholeTextToInt16("USB"); }).Description(), "Type mismatch");
}

TEST(ConversionsTest, AnAddressIsFourDecimalFieldsAndNothingElse)
{
    for (const char* text : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "10.20.30.40"})
        EXPECT_TRUE(IsDottedIPv4(text)) << text;
    for (const char* text : {"", "0", "127.1", "2130706433", "127.0.0.1 x", " 127.0.0.1", "127.0.0.01", "256.0.0.1",
                             "1.2.3.4.", "1.2.3", "1..2.3", "1234.0.0.1", "0x7f.0.0.1", "localhost", "::1"})
        EXPECT_FALSE(IsDottedIPv4(text)) << text;
}

}  // namespace
