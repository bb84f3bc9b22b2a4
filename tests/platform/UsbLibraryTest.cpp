// The USB library's calls through dlopen: the buffer each call hands over
// and takes back, and the errors of a missing library or function.
#include "platform/UsbLibrary.h"

#include "support/FakeZorvadevControl.h"
#include "support/RuntimeErrors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(UsbLibraryTest, AllHundredBytesComeBackWhateverTheResult)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    FakeZorvadevControl::Install(dir.Path());
    UsbLibrary usb(dir.Path());
    std::string written;
    for (int i = 0; i < 100; i++)
        written += static_cast<char>((i * 7) % 256);
    for (FakeZorvadevMode mode : {FakeZorvadevMode::Answer, FakeZorvadevMode::HighWordOnly}) {
        control.SetBytes(written);
        control.SetMode(mode);
        std::string buffer(100, ' ');
        int32_t value = 0;
        const int32_t device = usb.OpenDevice();
        EXPECT_EQ(usb.GetSpecStatus(device, buffer, 8, value), mode == FakeZorvadevMode::Answer ? 1 : 0x10000)
            << "the result comes back whole";
        EXPECT_EQ(buffer, written);
        EXPECT_EQ(usb.CloseDevice(device), 1);
    }
}

TEST(UsbLibraryTest, AMissingLibraryOrFunctionRaisesItsErrorAtTheCallThatNeedsIt)
{
    TempDir dir;
    UsbLibrary usb(dir.Path(), "libZorvadevMissing.so");
    std::string buffer(100, ' ');
    int32_t value = 0;
    testing::internal::CaptureStderr();
    EXPECT_RUNTIME_ERROR(usb.OpenDevice(), kErrLoadingDll, "UsbLibrary.OpenDevice");
    EXPECT_RUNTIME_ERROR(usb.GetSpecStatus(1, buffer, 8, value), kErrLoadingDll, "UsbLibrary.GetSpecStatus");
    EXPECT_RUNTIME_ERROR(usb.CloseDevice(1), kErrLoadingDll, "UsbLibrary.CloseDevice");
    EXPECT_EQ(CaughtError([&] { usb.OpenDevice(); }).Description(), "Error in loading DLL");

    TempDir partialDir;
    FakeZorvadevControl::InstallPartial(partialDir.Path());
    UsbLibrary partial(partialDir.Path());
    const RuntimeError missing = CaughtError([&] { partial.GetSpecStatus(partial.OpenDevice(), buffer, 8, value); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing.Number(), kErrDllEntryPoint);
    EXPECT_EQ(missing.Description(), "Can't find DLL entry point GetSpecStatus in Zorvadev");
    EXPECT_EQ(missing.Source(), "UsbLibrary.GetSpecStatus");
}

TEST(UsbLibraryTest, ALibraryInstalledAfterAFailedLoadIsPickedUp)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    UsbLibrary usb(dir.Path());
    testing::internal::CaptureStderr();
    EXPECT_THROW(usb.OpenDevice(), RuntimeError);
    testing::internal::GetCapturedStderr();

    FakeZorvadevControl::Install(dir.Path());
    EXPECT_EQ(usb.CloseDevice(usb.OpenDevice()), 1);
    EXPECT_EQ(control.Opens(), 1);
}

}  // namespace
