// One poll of one printer of the loaded main window: USB printers over the
// test USB library, and printers without a link.
#include "platform/LabelControl.h"
#include "platform/MSComm.h"
#include "platform/UsbLibrary.h"
#include "printer/PollPrinter.h"
#include "support/FakeZorvadevControl.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

namespace {

class PollPrinterTest : public ::testing::Test {
protected:
    PollPrinterTest() : control_(dir_)
    {
        FakeZorvadevControl::Install(dir_.Path());
        form_ = LoadForm(dir_, "[General]\nPrinters=2\n[Printer1]\nPort=-1\n[Printer2]\nPort=7\nDevice=" + dir_.File("none"));
        form_->Zorvadev = std::make_unique<UsbLibrary>(dir_.Path());
    }

    std::string Stored(int index) const { return form_->PrinterTable[index].StatusBytes; }
    std::string Paper() const { return form_->lblPaperStatusMessage[0]->Caption(); }

    TempDir dir_;
    FakeZorvadevControl control_;
    std::unique_ptr<frmMain> form_;
};

// What the library writes, how it answers, and what is stored and shown.
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

// A read that fails, in whole or in the low 16 bits of its result, and a
// library that lacks GetSpecStatus or is not there at all.
TEST_F(PollPrinterTest, AFailedUsbReadIsNoFaultClosesTheDeviceAndKeepsTheLastStatus)
{
    control_.SetBytes(std::string("\x01\x00\x00\xF0", 4));
    ASSERT_TRUE(PollPrinter(*form_, 0));
    TempDir partial;
    FakeZorvadevControl::InstallPartial(partial.Path());
    const std::tuple<const char*, FakeZorvadevMode, std::string, const char*> cases[] = {
        {"a failed read", FakeZorvadevMode::Fail, dir_.Path(), UsbLibrary::kDefaultFileName},
        {"only the high word", FakeZorvadevMode::HighWordOnly, dir_.Path(), UsbLibrary::kDefaultFileName},
        {"no GetSpecStatus", FakeZorvadevMode::Answer, partial.Path(), UsbLibrary::kDefaultFileName},
        {"no library", FakeZorvadevMode::Answer, dir_.Path(), "libZorvadevMissing.so"}};
    for (const auto& [what, mode, directory, file] : cases) {
        control_.ResetCounts();
        control_.SetBytes(std::string("\x10\x00\x00\xF0", 4));
        control_.SetMode(mode);
        form_->Zorvadev = std::make_unique<UsbLibrary>(directory, file);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(PollPrinter(*form_, 0)) << what;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(Stored(0), std::string("\x01\x00\x00\xF0", 4)) << what;
        EXPECT_EQ(Paper(), "Low") << what << ": the rows keep the last good status";
        EXPECT_EQ(control_.Opens(), std::string(file) == UsbLibrary::kDefaultFileName ? 1 : 0) << what;
        EXPECT_EQ(control_.Closes(), control_.Opens()) << what << ": a device opened is closed";
    }
    EXPECT_FALSE(form_->LinkOpen);
}

TEST_F(PollPrinterTest, PrintersWithoutALinkAreNoFaultAndStoreNothing)
{
    for (int16_t index : {int16_t{1}, int16_t{2}, int16_t{-1}})
        EXPECT_FALSE(PollPrinter(*form_, index)) << index;
    EXPECT_EQ(Stored(1), "");
    EXPECT_FALSE(form_->LinkOpen);
    EXPECT_EQ(control_.Opens(), 0) << "only USB printers use the library";
    EXPECT_TRUE(form_->MSComm1->RTSEnable()) << "the window's serial ports open with RTS on";
}

}  // namespace
