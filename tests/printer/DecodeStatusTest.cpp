// Status bytes turned into the four rows of a printer's column.
#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/LabelControl.h"
#include "printer/DecodeStatus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

struct Row {
    const char* caption;
    uint32_t back;
    uint32_t fore;
};

constexpr Row kOk{"Ok", kGreen, kWhite};

struct DecodeCase {
    const char* what;
    uint8_t b0;
    uint8_t b1;
    Row paper;
    Row head;
    Row cutter;
    Row presenter;
    bool fault;
};

class DecodeStatusTest : public ::testing::TestWithParam<DecodeCase> {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        dir_->Write("q.ini", "[General]\nPrinters=2\n[Printer1]\nPort=-1\n[Printer2]\nPort=-1\n");
        form_ = new frmMain(dir_->File("q.ini"));
        ASSERT_TRUE(form_->Form_Load());
    }
    static void TearDownTestSuite()
    {
        delete form_;
        delete dir_;
    }

    static void ExpectRow(LabelControl* label, const Row& row, const char* name)
    {
        EXPECT_EQ(label->Caption(), row.caption) << name;
        EXPECT_EQ(label->BackColor(), row.back) << name;
        EXPECT_EQ(label->ForeColor(), row.fore) << name;
    }

    static TempDir* dir_;
    static frmMain* form_;
};

TempDir* DecodeStatusTest::dir_ = nullptr;
frmMain* DecodeStatusTest::form_ = nullptr;

TEST_P(DecodeStatusTest, PaintsTheRowsAndReturnsTheFaultFlag)
{
    const DecodeCase& c = GetParam();
    // Decode into the second column, with byte 2 and 3 set to show they are ignored.
    const bool fault = DecodeStatus(StatusRecord{c.b0, c.b1, 0xFF, 0xF0}, 1, *form_);
    EXPECT_EQ(fault, c.fault) << c.what;
    ExpectRow(form_->lblPaperStatusMessage[1], c.paper, "paper");
    ExpectRow(form_->lblPrintHeadStatusMessage[1], c.head, "print head");
    ExpectRow(form_->lblCutterStatusMessage[1], c.cutter, "cutter");
    ExpectRow(form_->lblPresenterStatusMessage[1], c.presenter, "presenter");
    // The first column is never touched by a decode of the second.
    EXPECT_EQ(form_->lblPaperStatusMessage[0]->Caption(), "No Status");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecodeStatusTest,
    ::testing::Values(
        DecodeCase{"all well", 0x00, 0x00, kOk, kOk, kOk, kOk, false},
        DecodeCase{"paper jam", 0x00, 0x02, {"Jam", kRed, kWhite}, kOk, kOk, kOk, true},
        DecodeCase{"jam wins over load error", 0x00, 0x12, {"Jam", kRed, kWhite}, kOk, kOk, kOk, true},
        DecodeCase{"load error", 0x00, 0x10, {"Load Error", kRed, kWhite}, kOk, kOk, kOk, true},
        DecodeCase{"load error wins over empty", 0x04, 0x10, {"Load Error", kRed, kWhite}, kOk, kOk, kOk, true},
        DecodeCase{"empty wins over low", 0x05, 0x00, {"Empty", kRed, kWhite}, kOk, kOk, kOk, true},
        DecodeCase{"low is a yellow fault", 0x01, 0x00, {"Low", kYellow, kBlack}, kOk, kOk, kOk, true},
        DecodeCase{"over temperature wins over open", 0x0A, 0x00, kOk, {"Over Temp", kRed, kWhite}, kOk, kOk, true},
        DecodeCase{"head open", 0x02, 0x00, kOk, {"Open", kRed, kWhite}, kOk, kOk, true},
        DecodeCase{"cutter error", 0x10, 0x00, kOk, kOk, {"Error", kRed, kWhite}, kOk, true},
        DecodeCase{"presenter jam wins over held", 0x00, 0x05, kOk, kOk, kOk, {"Paper Jam", kRed, kWhite}, true},
        DecodeCase{"paper held is no fault", 0x00, 0x01, kOk, kOk, kOk, {"Paper Held", kGreen, kWhite}, false},
        DecodeCase{"unnamed bits count for nothing", 0xE0, 0xE8, kOk, kOk, kOk, kOk, false},
        DecodeCase{"spaces from the USB library", 0x20, 0x20, kOk, kOk, kOk, kOk, false},
        DecodeCase{"every row at fault", 0x1E, 0x04, {"Empty", kRed, kWhite}, {"Over Temp", kRed, kWhite},
                   {"Error", kRed, kWhite}, {"Paper Jam", kRed, kWhite}, true},
        DecodeCase{"held beside a cutter fault", 0x10, 0x01, kOk, kOk, {"Error", kRed, kWhite},
                   {"Paper Held", kGreen, kWhite}, true}));

TEST(DecodeStatusIndexTest, APrinterWithoutAColumnRaisesAndPaintsNothing)
{
    TempDir dir;
    dir.Write("q.ini", "[Printer1]\nPort=-1\n");
    frmMain form(dir.File("q.ini"));
    ASSERT_TRUE(form.Form_Load());
    for (int16_t index : {int16_t{1}, int16_t{-1}}) {
        try {
            DecodeStatus(StatusRecord{0x04, 0, 0, 0}, index, form);
            FAIL() << "index " << index << " was decoded";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrSubscriptOutOfRange);
        }
    }
    EXPECT_EQ(form.lblPaperStatusMessage[0]->Caption(), "No Status");
}

}  // namespace
