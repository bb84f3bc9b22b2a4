// The serial control over pseudo-terminals: what it opens, the settings the
// device ends up with, bytes both ways, and a device that goes away.
#include "platform/MSComm.h"

#include "platform/EventPump.h"
#include "support/PseudoTerminal.h"
#include "support/RecordingSerialLine.h"
#include "support/RuntimeErrors.h"
#include "support/StatusClient.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// How many descriptors of this process lead to the device `path`, also
// once the device node has gone.
long DescriptorsOn(const std::string& path)
{
    long count = 0;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        count += target == path || target == path + " (deleted)";
    }
    return count;
}

class MSCommTest : public ::testing::Test {
protected:
    MSCommTest()
    {
        comm.SetCommPort(1);
        comm.SetDevicePath(pty.Path());
        comm.SetDTREnable(true);
        comm.SetRTSEnable(true);
    }

    void Open(const std::string& settings = "9600,n,8,1")
    {
        comm.SetSettings(settings);
        comm.SetPortOpen(true);
    }

    PseudoTerminal pty;
    MSComm comm;
};

TEST_F(MSCommTest, SpeedAndStopBitsReachTheDeviceAndReadBack)
{
    Open("9600,n,8,2");
    ASSERT_TRUE(comm.PortOpen());
    EXPECT_GE(comm.CommID(), 0);
    termios settings = pty.Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);

    uint32_t baud = 0;
    for (uint32_t speed : {115200u, 250000u}) {
        ASSERT_TRUE(comm.WriteLineSpeed(speed));
        ASSERT_TRUE(comm.ReadLineSpeed(baud));
        EXPECT_EQ(baud, speed) << "a speed inside or outside the standard table";
    }

    comm.SetSettings("4800,n,8,1");
    settings = pty.Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B4800)) << "new settings apply to an open port";
    EXPECT_FALSE(settings.c_cflag & CSTOPB);

    comm.SetPortOpen(false);
    EXPECT_EQ(comm.CommID(), -1);
    EXPECT_FALSE(comm.ReadLineSpeed(baud));
    EXPECT_FALSE(comm.WriteLineSpeed(9600));
}

TEST_F(MSCommTest, SettingsTextsOutsideTheFormAreRefusedAndKeepTheOldOnes)
{
    comm.SetSettings("9600,n,8,1");
    for (const char* bad : {"9600,n,8", "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,1.5", "9600,n,8,3",
                            "fast,n,8,1", "0,n,8,1", "9600,n,8,1,1", "", "1200,n81"}) {
        EXPECT_RUNTIME_ERROR(comm.SetSettings(bad), kErrComInvalidPropertyValue, "");
        EXPECT_EQ(comm.Settings(), "9600,n,8,1");
    }
}

TEST_F(MSCommTest, FramingTheDeviceRefusesKeepsThePortClosed)
{
    // A pseudo-terminal cannot hold parity.
    EXPECT_RUNTIME_ERROR(Open("9600,e,8,1"), kErrComSetCommStateFailed, "");
    EXPECT_FALSE(comm.PortOpen());

    RecordingSerialLine line(comm.DeviceLine());
    line.refuseFraming = true;
    comm.SetLine(&line);
    EXPECT_RUNTIME_ERROR(Open("9600,n,8,1"), kErrComSetCommStateFailed, "");
    EXPECT_FALSE(comm.PortOpen());

    comm.SetLine(nullptr);
    Open("9600,n,8,1");
    EXPECT_TRUE(comm.PortOpen()) << "the refused open left the device free";
}

TEST_F(MSCommTest, EveryArrivalRaisesTheReceiveEventAndInputTakesOneByteAtATime)
{
    std::string seen;
    int events = 0;
    comm.OnComm = [&] {
        ++events;
        EXPECT_EQ(comm.CommEvent(), comEvReceive);
        while (comm.InBufferCount() > 0)
            seen += comm.Input();
    };
    comm.SetRThreshold(1);
    comm.SetInputLen(1);
    Open();

    pty.Write("A");
    ASSERT_TRUE(PumpUntil([&] { return events == 1; }));
    pty.Write(std::string("\x00\xF0\x0D", 3));
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen, std::string("A\x00\xF0\x0D", 4));
}

TEST_F(MSCommTest, OutputReachesTheDeviceUnchangedAndUnsentBytesCanBeDropped)
{
    Open();
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    comm.SetOutput(all);
    EXPECT_GT(comm.OutBufferCount(), 0);
    ASSERT_TRUE(PumpUntil([&] { return comm.OutBufferCount() == 0; }));
    EXPECT_EQ(pty.ReadAvailable(), all);

    comm.SetOutput("dropped");
    comm.SetOutBufferCount(0);
    EXPECT_EQ(comm.OutBufferCount(), 0);
    comm.SetOutput("kept");
    ASSERT_TRUE(PumpUntil([&] { return comm.OutBufferCount() == 0; }));
    EXPECT_EQ(pty.ReadAvailable(), "kept");
    EXPECT_RUNTIME_ERROR(comm.SetOutBufferCount(1), kErrComInvalidPropertyValue, "");
}

TEST_F(MSCommTest, ThePortOpensItsDeviceAndRefusesWhatDoesNotFitItsState)
{
    MSComm bare;
    bare.SetCommPort(12);
    EXPECT_EQ(bare.DeviceName(), "/dev/ttyS11") << "COM n is /dev/ttyS(n-1) unless a device is named";
    const RuntimeError missing = CaughtError([&] { bare.SetPortOpen(true); });
    EXPECT_EQ(missing.Number(), kErrComPortInvalid);
    EXPECT_NE(missing.Description().find("/dev/ttyS11"), std::string::npos) << "the error names the device";
    EXPECT_FALSE(bare.PortOpen());
    EXPECT_RUNTIME_ERROR(bare.SetCommPort(0), kErrComPortInvalid, "");

    EXPECT_RUNTIME_ERROR(comm.SetOutput("x"), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.Input(), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.OutBufferCount(), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.InBufferCount(), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.SetOutBufferCount(0), 0, "");
    EXPECT_RUNTIME_ERROR(comm.SetSThreshold(1), kErrComInvalidPropertyValue, "");

    Open();
    EXPECT_RUNTIME_ERROR(comm.SetPortOpen(true), kErrComPortAlreadyOpen, "");
    EXPECT_RUNTIME_ERROR(comm.SetDevicePath("/dev/null"), kErrComPortOpen, "");
    comm.SetPortOpen(false);
    comm.SetPortOpen(false);
    EXPECT_FALSE(comm.PortOpen());
}

TEST_F(MSCommTest, ADeviceThatGoesAwayFailsWritesWith8021UntilClosed)
{
    comm.SetRThreshold(1);
    int events = 0;
    comm.OnComm = [&] { ++events; };
    Open();
    EXPECT_EQ(DescriptorsOn(pty.Path()), 2);
    pty.CloseMaster();
    // Noticed without a write, and the dead device let go, so that nothing
    // keeps reporting it.
    ASSERT_TRUE(PumpUntil([&] { return DescriptorsOn(pty.Path()) == 1; }));
    EXPECT_EQ(comm.CommID(), -1);

    EXPECT_TRUE(comm.PortOpen());
    EXPECT_RUNTIME_ERROR(comm.SetOutput("x"), kErrComDCB, "");
    EXPECT_RUNTIME_ERROR(comm.OutBufferCount(), kErrComDCB, "");
    EXPECT_RUNTIME_ERROR(comm.Input(), kErrComReadError, "");
    EXPECT_EQ(comm.InBufferCount(), 0);
    uint32_t baud = 0;
    EXPECT_FALSE(comm.ReadLineSpeed(baud));
    PumpFor(50);
    EXPECT_EQ(events, 0);

    comm.SetPortOpen(false);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_RUNTIME_ERROR(comm.SetOutput("x"), kErrComPortNotOpen, "");
}

TEST_F(MSCommTest, AnErrorInTheReceiveHandlerIsReportedAndReceivingGoesOn)
{
    int events = 0;
    comm.OnComm = [&] {
        ++events;
        comm.Input();
        throw RuntimeError(5, "handler failed", "test");
    };
    comm.SetRThreshold(1);
    comm.SetInputLen(0);
    Open();
    testing::internal::CaptureStderr();
    pty.Write("a");
    ASSERT_TRUE(PumpUntil([&] { return events == 1; }));
    pty.Write("b");
    ASSERT_TRUE(PumpUntil([&] { return events == 2; }));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors.rfind("StatusMonitorQ62m: serial receive on " + pty.Path() + ": handler failed\n", 0), 0u)
        << errors;
}

}  // namespace
