// One poll of one printer on a printer context of its own: USB printers
// over the test USB library, and printers without a link.
#include "PrinterLinkFixture.h"

#include "platform/UsbLibrary.h"
#include "printer/PollPrinter.h"
#include "support/FakeZorvadevControl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

class PollPrinterTest : public ::testing::Test {
protected:
    PollPrinterTest() : control_(dir_) { FakeZorvadevControl::Install(dir_.Path()); }

    std::string Stored(int index) const { return context_.PrinterTable[index].StatusBytes; }
    std::string Paper() const { return context_.Paper(0); }

    TempDir dir_;
    FakeZorvadevControl control_;
    TestPrinterContext context_{{PrinterEntry{.Port = -1}, SerialPrinter(dir_.File("none"), 7)}};
};

// Polls in turn: what the library writes, how it answers, and what is
// stored and shown. A read that fails, in whole or in the low 16 bits of its
// result, and a library that lacks GetSpecStatus or is missing, are no fault
// and keep the last status. Every device opened is closed.
TEST_F(PollPrinterTest, AUsbAnswerIsStoredAsItsFirstFourBytesAndAFailedReadKeepsTheLast)
{
    TempDir partial;
    FakeZorvadevControl::Install(partial.Path(), true);
    using enum FakeZorvadevMode;
    struct Case {
        std::string written;
        FakeZorvadevMode mode;
        std::string directory;
        bool fault;
        std::string stored;
        const char* paper;
        const char* presenter;
    };
    const std::string held("\x00\x01\x00\xF0", 4), empty("\x04\x00\x12\x33", 4), low("\x01\x00\x00\x20", 4);
    // The library is looked for in `directory`, then through the loader, which knows none.
    const std::string usb = dir_.Path(), missing = dir_.File("none"), other = "\x10\x00\x00\xF0";
    const Case cases[] = {{held, Answer, usb, false, held, "Ok", "Paper Held"},
                          {empty, Answer, usb, true, empty, "Empty", "Ok"},
                          {low.substr(0, 3), Answer, usb, true, low, "Low", "Ok"},
                          {other, Fail, usb, false, low, "Low", "Ok"},
                          {other, HighWordOnly, usb, false, low, "Low", "Ok"},
                          {other, Answer, partial.Path(), false, low, "Low", "Ok"},
                          {other, Answer, missing, false, low, "Low", "Ok"},
                          {other, WriteNothing, usb, false, "    ", "Ok", "Ok"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory + " " + std::to_string(static_cast<int>(c.mode)));
        control_.ResetCounts();
        control_.Set(c.mode, c.written);
        context_.Zorvadev = std::make_unique<UsbLibrary>(c.directory);
        testing::internal::CaptureStderr();
        EXPECT_EQ(PollPrinter(context_, 0), c.fault);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(Stored(0), c.stored);
        EXPECT_EQ(Paper(), c.paper);
        EXPECT_EQ(context_.lblPresenterStatusMessage[0]->Caption(), c.presenter);
        EXPECT_EQ(control_.Opens(), c.directory == missing ? 0 : 1);
        EXPECT_EQ(control_.Closes(), control_.Opens());
    }
    EXPECT_FALSE(context_.LinkOpen);
}

TEST_F(PollPrinterTest, PrintersWithoutALinkAreNoFaultAndStoreNothing)
{
    for (int16_t index : {int16_t{1}, int16_t{2}, int16_t{-1}})
        EXPECT_FALSE(PollPrinter(context_, index)) << index;
    EXPECT_EQ(Stored(1), "");
    EXPECT_FALSE(context_.LinkOpen);
    EXPECT_EQ(control_.Opens(), 0) << "only USB printers use the library";
}

}  // namespace
