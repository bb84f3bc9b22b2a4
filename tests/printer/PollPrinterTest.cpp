// One poll of one printer, over the test USB library; serial and network
// printers without a link.
#include "platform/LabelControl.h"
#include "platform/UsbLibrary.h"
#include "printer/PollPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeZorvadevControl.h"
#include "support/LoadedForm.h"
#include "support/StatusClient.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

class PollPrinterTest : public ::testing::Test {
protected:
    PollPrinterTest() : control_(dir_)
    {
        FakeZorvadevControl::Install(dir_.Path());
        // The network printer's port has no listener and the serial port no device.
        form_ = LoadForm(dir_, "[General]\nPrinters=3\n[Printer1]\nPort=-1\n[Printer2]\nPort=0\nIP=127.0.0.1\nSocket="
                                   + std::to_string(FreeLoopbackPort()) + "\n[Printer3]\nPort=7\nDevice="
                                   + dir_.File("none") + "\n");
        form_->Zorvadev = std::make_unique<UsbLibrary>(dir_.Path());
    }

    std::string Stored(int index) const { return form_->PrinterTable[index].StatusBytes; }
    std::string Paper() const { return form_->lblPaperStatusMessage[0]->Caption(); }

    TempDir dir_;
    FakeZorvadevControl control_;
    std::unique_ptr<frmMain> form_;
};

TEST_F(PollPrinterTest, AUsbAnswerIsStoredAsItsFirstFourBytesAndDecoded)
{
    struct Case {
        std::string written;
        FakeZorvadevMode mode;
        bool fault;
        std::string stored;
        const char* paper;
        const char* presenter;
    };
    const Case cases[] = {
        {std::string("\x00\x01\x00\xF0", 4), FakeZorvadevMode::Answer, false, std::string("\x00\x01\x00\xF0", 4), "Ok",
         "Paper Held"},
        {std::string("\x04\x00\x12\x33", 4), FakeZorvadevMode::Answer, true, std::string("\x04\x00\x12\x33", 4),
         "Empty", "Ok"},
        {std::string("\x01\x00\x00", 3), FakeZorvadevMode::Answer, true, std::string("\x01\x00\x00\x20", 4), "Low",
         "Ok"},
        {std::string("\x10\x00\x00\xF0", 4), FakeZorvadevMode::WriteNothing, false, "    ", "Ok", "Ok"}};
    for (const Case& c : cases) {
        control_.ResetCounts();
        control_.SetBytes(c.written);
        control_.SetMode(c.mode);
        EXPECT_EQ(PollPrinter(*form_, 0), c.fault) << c.paper;
        EXPECT_EQ(Stored(0), c.stored);
        EXPECT_EQ(Paper(), c.paper);
        EXPECT_EQ(form_->lblPresenterStatusMessage[0]->Caption(), c.presenter);
        EXPECT_EQ(control_.Opens(), 1);
        EXPECT_EQ(control_.Closes(), 1);
    }
}

TEST_F(PollPrinterTest, AFailedUsbReadStillClosesTheDeviceAndKeepsTheLastStatus)
{
    control_.SetBytes(std::string("\x01\x00\x00\xF0", 4));
    ASSERT_TRUE(PollPrinter(*form_, 0));
    for (FakeZorvadevMode mode : {FakeZorvadevMode::Fail, FakeZorvadevMode::HighWordOnly}) {
        control_.ResetCounts();
        control_.SetBytes(std::string("\x10\x00\x00\xF0", 4));
        control_.SetMode(mode);
        EXPECT_FALSE(PollPrinter(*form_, 0)) << static_cast<int>(mode);
        EXPECT_EQ(Stored(0), std::string("\x01\x00\x00\xF0", 4)) << static_cast<int>(mode);
        EXPECT_EQ(Paper(), "Low") << "the rows keep the last good status";
        EXPECT_EQ(control_.Opens(), 1);
        EXPECT_EQ(control_.Closes(), 1) << "the device is closed after a failed read";
    }
}

TEST_F(PollPrinterTest, AMissingLibraryOrFunctionCountsAsNoFault)
{
    control_.SetBytes(std::string("\x04\x00\x00\xF0", 4));
    ASSERT_TRUE(PollPrinter(*form_, 0));

    // Each reason is told once on standard error, however often it is met.
    TempDir empty;
    form_->Zorvadev = std::make_unique<UsbLibrary>(empty.Path(), "libZorvadevMissing.so");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(PollPrinter(*form_, 0));
    EXPECT_FALSE(PollPrinter(*form_, 0));
    const std::string missing = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing.rfind("StatusMonitorQ62m: dlopen: " + empty.Path(), 0), 0u) << missing;
    EXPECT_NE(missing.find("cannot open shared object file"), std::string::npos) << missing;
    EXPECT_EQ(std::count(missing.begin(), missing.end(), '\n'), 1) << missing;

    TempDir partial;
    FakeZorvadevControl::InstallPartial(partial.Path());
    form_->Zorvadev = std::make_unique<UsbLibrary>(partial.Path());
    control_.ResetCounts();
    EXPECT_FALSE(PollPrinter(*form_, 0));
    EXPECT_EQ(control_.Opens(), 1);
    EXPECT_EQ(control_.Closes(), 1) << "a device opened is closed when the library lacks GetSpecStatus";

    EXPECT_EQ(Stored(0), std::string("\x04\x00\x00\xF0", 4));
    EXPECT_EQ(Paper(), "Empty");
    EXPECT_FALSE(form_->LinkOpen);
}

TEST_F(PollPrinterTest, PrintersWithoutALinkAreNoFaultAndStoreNothing)
{
    FakeClock clock;
    for (int16_t index : {int16_t{1}, int16_t{2}, int16_t{3}, int16_t{-1}})
        EXPECT_FALSE(PollPrinter(*form_, index)) << index;
    EXPECT_EQ(Stored(1) + Stored(2), "");
    EXPECT_FALSE(form_->LinkOpen);
    EXPECT_EQ(control_.Opens(), 0) << "only USB printers use the library";
}

}  // namespace
