#include "core/Conversions.h"
#include "core/RuntimeError.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct LeadingCase {
    const char* text;
    double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberAtTheStartOfTheText)
{
    EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().value) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LeadingNumberTest,
    ::testing::Values(LeadingCase{"3 printers", 3}, LeadingCase{"&H10", 16}, LeadingCase{"abc", 0},
                      LeadingCase{"", 0}, LeadingCase{"  42  ", 42}, LeadingCase{"1 2 3", 123},
                      LeadingCase{"1\t2\n3", 123}, LeadingCase{"-4", -4}, LeadingCase{"+7", 7},
                      LeadingCase{"2.5", 2.5}, LeadingCase{".5", 0.5}, LeadingCase{"1.2.3", 1.2},
                      LeadingCase{"1E3", 1000}, LeadingCase{"1d2", 100}, LeadingCase{"2.5e-1", 0.25},
                      LeadingCase{"1e", 1}, LeadingCase{"1e+", 1}, LeadingCase{"05000", 5000},
                      LeadingCase{"5000 (spare)", 5000}, LeadingCase{"&o17", 15}, LeadingCase{"&h1F", 31},
                      LeadingCase{"&HFFFF", -1}, LeadingCase{"&H10000", 65536}, LeadingCase{"&H", 0},
                      LeadingCase{"&X12", 0}, LeadingCase{"- 5", -5}, LeadingCase{"+-3", 0},
                      LeadingCase{"\r5", 0}));

struct RoundCase {
    double value;
    int16_t rounded;
};

class RoundToInt16Test : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundToInt16Test, RoundsHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(RoundToInt16(GetParam().value), GetParam().rounded) << "value: " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, RoundToInt16Test,
                         ::testing::Values(RoundCase{2.5, 2}, RoundCase{3.5, 4}, RoundCase{-2.5, -2},
                                           RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.4999, 2},
                                           RoundCase{2.5001, 3}, RoundCase{32767.4, 32767},
                                           RoundCase{-32768.5, -32768}, RoundCase{-32767.5, -32768}));

TEST(RoundToInt16Test, ResultsOutsideSixteenBitsOverflow)
{
    for (double value : {32767.5, 32768.0, -32768.6, -32769.0, 1e300}) {
        try {
            RoundToInt16(value);
            FAIL() << "no overflow for " << value;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrOverflow);
            EXPECT_EQ(e.Description(), "Overflow");
            EXPECT_FALSE(e.Source().empty());
        }
    }
}

struct WholeCase {
    const char* text;
    int16_t value;
};

class WholeTextToInt16Test : public ::testing::TestWithParam<WholeCase> {};

TEST_P(WholeTextToInt16Test, ConvertsTextThatIsOneNumber)
{
    EXPECT_EQ(WholeTextToInt16(GetParam().text), GetParam().value) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Forms, WholeTextToInt16Test,
                         ::testing::Values(WholeCase{"-1", -1}, WholeCase{"0", 0}, WholeCase{"3", 3},
                                           WholeCase{" 3 ", 3}, WholeCase{"2.5", 2}, WholeCase{"3.5", 4},
                                           WholeCase{"1e1", 10}, WholeCase{"&H10", 16}, WholeCase{"+2", 2},
                                           WholeCase{"\t7", 7}));

TEST(WholeTextToInt16Test, TextThatIsNotOneNumberIsATypeMismatch)
{
    for (const char* text : {"", "   ", "USB", "3 printers", "1 2", "&H", "abc", "3x", "."}) {
        try {
            WholeTextToInt16(text);
            FAIL() << "no error for '" << text << "'";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrTypeMismatch) << text;
            EXPECT_EQ(e.Description(), "Type mismatch");
        }
    }
}

TEST(WholeTextToInt16Test, NumbersOutsideSixteenBitsOverflow)
{
    for (const char* text : {"32768", "-32769", "1e10", "&H10000"}) {
        try {
            WholeTextToInt16(text);
            FAIL() << "no error for '" << text << "'";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrOverflow) << text;
        }
    }
}

TEST(NulByteTest, ANulByteFitsNoNumber)
{
    using namespace std::string_literals;
    EXPECT_EQ(LeadingNumber("6\0" "1"s), 6) << "a NUL is no exponent letter";
    EXPECT_EQ(LeadingNumber("\0" "7"s), 0);
    EXPECT_THROW(WholeTextToInt16("5\0" "3"s), RuntimeError);
    EXPECT_THROW(WholeTextToInt16("5\0"s), RuntimeError);
}

TEST(CheckedInt16Test, ArithmeticLeavingTheRangeOverflows)
{
    EXPECT_EQ(CheckedInt16(31240), 31240);
    EXPECT_EQ(CheckedInt16(-32768), -32768);
    EXPECT_THROW(CheckedInt16(34340), RuntimeError);
    EXPECT_THROW(CheckedInt16(-32769), RuntimeError);
}

TEST(PlainDecimalTest, WritesNumbersWithoutLeadingBlankOrZeros)
{
    EXPECT_EQ(PlainDecimal(5000), "5000");
    EXPECT_EQ(PlainDecimal(65535), "65535");
    EXPECT_EQ(PlainDecimal(5000.5), "5000.5");
}

}  // namespace

namespace {

TEST(ThirtyTwoBitConversionTest, RoundsHalvesToEvenAndOverflowsOutsideTheRange)
{
    EXPECT_EQ(RoundToInt32(115200.5), 115200);
    EXPECT_EQ(RoundToInt32(115201.5), 115202);
    EXPECT_EQ(RoundToInt32(-2147483648.0), INT32_MIN);
    EXPECT_EQ(WholeTextToInt32(" 250000 "), 250000);
    EXPECT_EQ(WholeTextToInt32("2.5E5"), 250000);
    EXPECT_EQ(WholeTextToInt32("&H4B00"), 19200);
    for (double value : {2147483647.5, -2147483649.0, std::nan("")})
        EXPECT_THROW(RoundToInt32(value), RuntimeError) << value;
    EXPECT_THROW(WholeTextToInt32("1E10"), RuntimeError);
    try {
        WholeTextToInt32("115200 baud");
        FAIL() << "a speed with a word after it was taken";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrTypeMismatch);
    }
}

}  // namespace
