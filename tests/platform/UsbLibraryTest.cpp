// The USB library's calls through dlopen: the errors of a missing library
// or function, and a library installed while the monitor runs. What the
// calls hand over and take back is the poll's test.
#include "platform/UsbLibrary.h"

#include "support/FakeZorvadevControl.h"
#include "support/RuntimeErrors.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(UsbLibraryTest, AMissingLibraryOrFunctionRaisesItsErrorAtTheCallThatNeedsItUntilOneIsInstalled)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    UsbLibrary usb(dir.Path());
    std::string buffer(100, ' ');
    int32_t value = 0;
    testing::internal::CaptureStderr();
    EXPECT_RUNTIME_ERROR(usb.OpenDevice(), kErrLoadingDll, "UsbLibrary.OpenDevice");
    EXPECT_RUNTIME_ERROR(usb.GetSpecStatus(1, buffer, 8, value), kErrLoadingDll, "UsbLibrary.GetSpecStatus");
    EXPECT_RUNTIME_ERROR(usb.CloseDevice(1), kErrLoadingDll, "UsbLibrary.CloseDevice");

    TempDir partialDir;
    FakeZorvadevControl::Install(partialDir.Path(), true);
    UsbLibrary partial(partialDir.Path());
    const RuntimeError missing = CaughtError([&] { partial.GetSpecStatus(partial.OpenDevice(), buffer, 8, value); });
    // A library that lacks two functions: their reasons take turns at every poll.
    UsbLibrary unrelated(dir.Path(), "libc.so.6");
    for (int poll = 0; poll < 3; ++poll) {
        CaughtError([&] { unrelated.OpenDevice(); });
        CaughtError([&] { unrelated.CloseDevice(1); });
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 4) << "each reason once for the whole run:\n" << told;
    EXPECT_EQ(told.rfind("StatusMonitorQ62m: dlopen: " + dir.Path() + "/libZorvadev.so: ", 0), 0u) << told;
    EXPECT_EQ(missing.Number(), kErrDllEntryPoint);
    EXPECT_EQ(missing.Description(), "Can't find DLL entry point GetSpecStatus in Zorvadev");
    EXPECT_EQ(missing.Source(), "UsbLibrary.GetSpecStatus");

    FakeZorvadevControl::Install(dir.Path());
    control.ResetCounts();
    EXPECT_EQ(usb.CloseDevice(usb.OpenDevice()), 1) << "a library installed after a failed load is picked up";
    EXPECT_EQ(control.Opens(), 1);
}

}  // namespace
