// Status bytes turned into the four rows of a printer's column.
#include "PrinterLinkFixture.h"

#include "printer/DecodeStatus.h"
#include "support/RuntimeErrors.h"

namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

struct Row {
    const char* caption;
    uint32_t back, fore;
};

constexpr Row kOk{"Ok", kGreen, kWhite};

struct DecodeCase {
    const char* what;
    uint8_t b0, b1;
    Row paper, head, cutter, presenter;
    bool fault;
};

void ExpectRow(LabelControl* label, const Row& row, const char* name)
{
    EXPECT_EQ(label->Caption(), row.caption) << name;
    EXPECT_EQ(label->BackColor(), row.back) << name;
    EXPECT_EQ(label->ForeColor(), row.fore) << name;
}

TEST(DecodeStatusTest, PaintsTheRowsAndReturnsTheFaultFlag)
{
    const DecodeCase cases[] = {
        {"all well", 0x00, 0x00, kOk, kOk, kOk, kOk, false},
        {"paper jam", 0x00, 0x02, {"Jam", kRed, kWhite}, kOk, kOk, kOk, true},
        {"jam wins over load error", 0x00, 0x12, {"Jam", kRed, kWhite}, kOk, kOk, kOk, true},
        {"load error", 0x00, 0x10, {"Load Error", kRed, kWhite}, kOk, kOk, kOk, true},
        {"load error wins over empty", 0x04, 0x10, {"Load Error", kRed, kWhite}, kOk, kOk, kOk, true},
        {"empty wins over low", 0x05, 0x00, {"Empty", kRed, kWhite}, kOk, kOk, kOk, true},
        {"low is a yellow fault", 0x01, 0x00, {"Low", kYellow, kBlack}, kOk, kOk, kOk, true},
        {"over temperature wins over open", 0x0A, 0x00, kOk, {"Over Temp", kRed, kWhite}, kOk, kOk, true},
        {"head open", 0x02, 0x00, kOk, {"Open", kRed, kWhite}, kOk, kOk, true},
        {"cutter error", 0x10, 0x00, kOk, kOk, {"Error", kRed, kWhite}, kOk, true},
        {"presenter jam wins over held", 0x00, 0x05, kOk, kOk, kOk, {"Paper Jam", kRed, kWhite}, true},
        {"paper held is no fault", 0x00, 0x01, kOk, kOk, kOk, {"Paper Held", kGreen, kWhite}, false},
        {"unnamed bits, such as the USB library's spaces, count for nothing", 0xE0, 0xE8, kOk, kOk, kOk, kOk, false},
        {"every row at fault", 0x1E, 0x04, {"Empty", kRed, kWhite}, {"Over Temp", kRed, kWhite},
         {"Error", kRed, kWhite}, {"Paper Jam", kRed, kWhite}, true},
        {"held beside a cutter fault", 0x10, 0x01, kOk, kOk, {"Error", kRed, kWhite}, {"Paper Held", kGreen, kWhite},
         true}};
    TestPrinterContext context({{}, {}});
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        // Decoded into the second column, with bytes 2 and 3 set to show they are ignored.
        EXPECT_EQ(DecodeStatus(StatusRecord{c.b0, c.b1, 0xFF, 0xF0}, 1, context), c.fault);
        ExpectRow(context.lblPaperStatusMessage[1], c.paper, "paper");
        ExpectRow(context.lblPrintHeadStatusMessage[1], c.head, "print head");
        ExpectRow(context.lblCutterStatusMessage[1], c.cutter, "cutter");
        ExpectRow(context.lblPresenterStatusMessage[1], c.presenter, "presenter");
        EXPECT_EQ(context.Paper(0), "") << "the first column was touched";
    }
    // A printer without a column raises and paints nothing.
    for (int16_t index : {int16_t{2}, int16_t{-1}})
        EXPECT_RUNTIME_ERROR(DecodeStatus(StatusRecord{0x04, 0, 0, 0}, index, context), kErrSubscriptOutOfRange, "");
    EXPECT_EQ(context.Paper(0), "");
}

}  // namespace
