#include "platform/UsbLibrary.h"

#include "core/RuntimeError.h"
#include "support/FakeZorvadevControl.h"
#include "support/TempDir.h"

#include <QProcess>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Spaces(size_t count)
{
    return std::string(count, ' ');
}

std::string Bytes(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// The library installed in a directory of its own, read through a fresh
// UsbLibrary, with the test's control and counts files.
class UsbLibraryWithFake : public ::testing::Test {
protected:
    UsbLibraryWithFake() { FakeZorvadevControl::Install(libraryDir.Path()); }

    // One open, status read and close, as the poll makes them.
    int32_t ReadStatus(std::string& buffer)
    {
        const int32_t device = usb.OpenDevice();
        int32_t value = 0;
        const int32_t result = usb.GetSpecStatus(device, buffer, 8, value);
        usb.CloseDevice(device);
        return result;
    }

    TempDir dir;
    TempDir libraryDir;
    FakeZorvadevControl control{dir};
    UsbLibrary usb{libraryDir.Path()};
};

TEST_F(UsbLibraryWithFake, StatusBytesLandAtTheStartAndTheRestStaysSpaces)
{
    control.SetBytes(Bytes({0x04, 0x00, 0x12, 0xF0}));
    std::string buffer = Spaces(100);

    EXPECT_NE(ReadStatus(buffer), 0);

    EXPECT_EQ(buffer, Bytes({0x04, 0x00, 0x12, 0xF0}) + Spaces(96));
}

TEST_F(UsbLibraryWithFake, WithoutControlFileTheLibraryAnswersAllWell)
{
    std::string buffer = Spaces(100);

    EXPECT_EQ(ReadStatus(buffer), 1);

    EXPECT_EQ(buffer.substr(0, 4), Bytes({0x00, 0x00, 0x00, 0xF0}));
}

TEST_F(UsbLibraryWithFake, AllHundredBytesComeBackIncludingZeroBytes)
{
    std::string written;
    for (int i = 0; i < 100; i++)
        written += static_cast<char>((i * 7) % 256);
    control.SetBytes(written);
    std::string buffer = Spaces(100);

    ReadStatus(buffer);

    EXPECT_EQ(buffer, written);
}

TEST_F(UsbLibraryWithFake, LibraryThatWritesNothingLeavesTheSpaces)
{
    control.SetMode(FakeZorvadevMode::WriteNothing);
    std::string buffer = Spaces(100);

    EXPECT_NE(ReadStatus(buffer), 0);

    EXPECT_EQ(buffer, Spaces(100));
}

TEST_F(UsbLibraryWithFake, ShortOrLongBufferTravelsAsExactlyHundredBytes)
{
    control.SetMode(FakeZorvadevMode::WriteNothing);
    std::string shortBuffer = "AB";
    std::string longBuffer = Spaces(100) + "overflow";

    ReadStatus(shortBuffer);
    ReadStatus(longBuffer);

    EXPECT_EQ(shortBuffer, "AB" + Spaces(98));
    EXPECT_EQ(longBuffer, Spaces(100));
}

TEST_F(UsbLibraryWithFake, FailureComesBackAsZeroWithWhateverTheLibraryWrote)
{
    control.SetBytes(Bytes({0x01, 0x00, 0x00}));
    control.SetMode(FakeZorvadevMode::Fail);
    std::string buffer = Spaces(100);

    EXPECT_EQ(ReadStatus(buffer), 0);

    EXPECT_EQ(buffer.substr(0, 4), Bytes({0x01, 0x00, 0x00, 0x20}));
}

TEST_F(UsbLibraryWithFake, ResultIsReturnedWhole)
{
    // Judging the low 16 bits is the poll's business, not this class's.
    std::string buffer = Spaces(100);
    control.SetMode(FakeZorvadevMode::HighWordOnly);
    EXPECT_EQ(ReadStatus(buffer), 0x10000);

    control.SetResult(-2);
    EXPECT_EQ(ReadStatus(buffer), -2);
}

TEST_F(UsbLibraryWithFake, FailedOpenMakesTheStatusReadFail)
{
    control.SetMode(FakeZorvadevMode::FailOpen);
    std::string buffer = Spaces(100);

    EXPECT_EQ(ReadStatus(buffer), 0);

    EXPECT_EQ(buffer, Spaces(100));
}

TEST_F(UsbLibraryWithFake, DeviceSizeAndValueReachTheLibraryAndBack)
{
    control.SetBytes(Bytes({0x00, 0x01, 0x00, 0xF0}));
    const int32_t device = usb.OpenDevice();
    std::string buffer = Spaces(100);
    int32_t value = 0;

    EXPECT_EQ(usb.GetSpecStatus(device + 1, buffer, 8, value), 0);
    EXPECT_EQ(usb.GetSpecStatus(device, buffer, 7, value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(usb.GetSpecStatus(device, buffer, 8, value), 1);
    EXPECT_EQ(value, 4);

    EXPECT_EQ(usb.CloseDevice(device), 1);
    EXPECT_EQ(usb.CloseDevice(device), 0);
}

TEST_F(UsbLibraryWithFake, ControlChangesTakeEffectAtTheNextCall)
{
    std::string buffer = Spaces(100);
    ReadStatus(buffer);
    control.SetBytes(Bytes({0x08, 0x02, 0x00, 0xF0}));

    ReadStatus(buffer);

    EXPECT_EQ(buffer.substr(0, 4), Bytes({0x08, 0x02, 0x00, 0xF0}));
}

TEST_F(UsbLibraryWithFake, EveryOpenCloseAndStatusReadIsCounted)
{
    std::string buffer = Spaces(100);
    for (int i = 0; i < 3; i++)
        ReadStatus(buffer);
    usb.OpenDevice();

    EXPECT_EQ(control.Opens(), 4);
    EXPECT_EQ(control.StatusReads(), 3);
    EXPECT_EQ(control.Closes(), 3);

    control.ResetCounts();
    ReadStatus(buffer);
    EXPECT_EQ(control.Opens(), 1);
    EXPECT_EQ(control.Closes(), 1);
}

TEST_F(UsbLibraryWithFake, LoadedLibraryStaysInUseWhenItsFileIsRemoved)
{
    std::string buffer = Spaces(100);
    ReadStatus(buffer);
    std::filesystem::remove(libraryDir.File("libZorvadev.so"));

    EXPECT_EQ(ReadStatus(buffer), 1);
}

void ExpectError(int32_t number, const std::string& description, const std::string& source,
                 const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "no error raised; expected " << number;
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), number);
        EXPECT_EQ(error.Description(), description);
        EXPECT_EQ(error.Source(), source);
    }
}

TEST(UsbLibraryLoading, MissingLibraryRaisesError48AtEachCall)
{
    TempDir empty;
    UsbLibrary usb(empty.Path());
    std::string buffer = Spaces(100);
    int32_t value = 0;

    ExpectError(48, "Error in loading DLL", "UsbLibrary.OpenDevice", [&] { usb.OpenDevice(); });
    ExpectError(48, "Error in loading DLL", "UsbLibrary.GetSpecStatus",
                [&] { usb.GetSpecStatus(1, buffer, 8, value); });
    ExpectError(48, "Error in loading DLL", "UsbLibrary.CloseDevice", [&] { usb.CloseDevice(1); });
}

TEST(UsbLibraryLoading, MissingFunctionRaisesError453NamingIt)
{
    TempDir libraryDir;
    FakeZorvadevControl::InstallPartial(libraryDir.Path());
    UsbLibrary usb(libraryDir.Path());
    std::string buffer = Spaces(100);
    int32_t value = 0;

    const int32_t device = usb.OpenDevice();

    ExpectError(453, "Can't find DLL entry point GetSpecStatus in Zorvadev",
                "UsbLibrary.GetSpecStatus", [&] { usb.GetSpecStatus(device, buffer, 8, value); });
}

TEST(UsbLibraryLoading, LibraryInstalledAfterAFailedLoadIsPickedUp)
{
    TempDir dir;
    TempDir libraryDir;
    FakeZorvadevControl control(dir);
    UsbLibrary usb(libraryDir.Path());
    EXPECT_THROW(usb.OpenDevice(), RuntimeError);

    FakeZorvadevControl::Install(libraryDir.Path());

    const int32_t device = usb.OpenDevice();
    EXPECT_EQ(usb.CloseDevice(device), 1);
    EXPECT_EQ(control.Opens(), 1);
}

TEST(UsbLibraryLoading, FileNameCanBeChosen)
{
    TempDir libraryDir;
    std::filesystem::copy_file(Q62M_FAKE_ZORVADEV, libraryDir.File("libOther.so"));
    UsbLibrary usb(libraryDir.Path(), "libOther.so");

    EXPECT_EQ(usb.CloseDevice(usb.OpenDevice()), 1);
}

// The real search runs in an executable of its own: the probe, copied into
// a directory with or without a library beside it, and run with the
// loader's search path pointing at another directory or at none.
class UsbLibrarySearch : public ::testing::Test {
protected:
    UsbLibrarySearch()
    {
        std::filesystem::copy_file(Q62M_USB_PROBE, probeDir.File("UsbLibraryProbe"));
    }

    std::string RunProbe(const std::string& loaderPath = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LD_LIBRARY_PATH");
        if (!loaderPath.empty())
            env.insert("LD_LIBRARY_PATH", QString::fromStdString(loaderPath));
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(probeDir.File("UsbLibraryProbe")), {});
        EXPECT_TRUE(process.waitForFinished(30000));
        return process.readAllStandardOutput().toStdString();
    }

    TempDir dir;
    TempDir probeDir;
    TempDir otherDir;
    FakeZorvadevControl control{dir};
};

TEST_F(UsbLibrarySearch, LibraryBesideTheExecutableIsUsed)
{
    FakeZorvadevControl::Install(probeDir.Path());
    control.SetBytes(Bytes({0x04, 0x00, 0x12, 0xF0}));

    EXPECT_EQ(RunProbe(), "result 1 bytes 04 00 12 F0\n");
    EXPECT_EQ(control.Opens(), 1);
    EXPECT_EQ(control.Closes(), 1);
}

TEST_F(UsbLibrarySearch, LoaderSearchPathIsTheFallback)
{
    FakeZorvadevControl::Install(otherDir.Path());

    EXPECT_EQ(RunProbe(otherDir.Path()), "result 1 bytes 00 00 00 F0\n");
}

TEST_F(UsbLibrarySearch, LibraryBesideTheExecutableComesFirst)
{
    FakeZorvadevControl::InstallPartial(probeDir.Path());
    FakeZorvadevControl::Install(otherDir.Path());

    EXPECT_EQ(RunProbe(otherDir.Path()),
              "error 453: Can't find DLL entry point GetSpecStatus in Zorvadev "
              "(UsbLibrary.GetSpecStatus)\n");
}

TEST_F(UsbLibrarySearch, NoLibraryAnywhereIsError48)
{
    EXPECT_EQ(RunProbe(), "error 48: Error in loading DLL (UsbLibrary.OpenDevice)\n");
}

}  // namespace
