// The serial control over pseudo-terminals: what it opens, bytes both ways,
// and a device that goes away. The settings a port opens with, and those it
// refuses, are the serial transport's test.
#include "platform/MSComm.h"

#include "platform/EventPump.h"
#include "support/PseudoTerminal.h"
#include "support/RuntimeErrors.h"
#include "support/StatusClient.h"

#include <filesystem>
#include <gtest/gtest.h>

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
        comm.SetRThreshold(1);
    }

    PseudoTerminal pty;
    MSComm comm;
};

// A device that cannot be opened, and the device a COM number names, are
// the serial transport's test, since a machine may have any /dev/ttyS<n>.
TEST_F(MSCommTest, ThePortNeedsToBeOpenForItsBytesAndClosedForAnotherDevice)
{
    EXPECT_RUNTIME_ERROR(comm.SetOutput("x"), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.Input(), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.OutBufferCount(), kErrComPortNotOpen, "");
    EXPECT_RUNTIME_ERROR(comm.InBufferCount(), kErrComPortNotOpen, "");
    comm.SetPortOpen(true);
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_RUNTIME_ERROR(comm.SetDevicePath("/dev/null"), kErrComPortOpen, "");
}

// Every arrival raises the receive event, where InputLen 1 reads one byte
// at a time; an error in the handler is reported and receiving goes on.
TEST_F(MSCommTest, EveryArrivalRaisesTheReceiveEventAndAnErrorInItsHandlerIsReported)
{
    std::string seen;
    comm.OnComm = [&] {
        EXPECT_EQ(comm.CommEvent(), comEvReceive);
        while (comm.InBufferCount() > 0) {
            const std::string byte = comm.Input();
            EXPECT_EQ(byte.size(), 1u);
            seen += byte;
        }
        throw RuntimeError(5, "handler failed", "test");
    };
    comm.SetInputLen(1);
    comm.SetPortOpen(true);
    testing::internal::CaptureStderr();
    pty.Write("a");
    ASSERT_TRUE(PumpUntil([&] { return seen == "a"; }));
    pty.Write(std::string("\x00\xF0", 2));
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 3; }));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen, std::string("a\x00\xF0", 3));
    EXPECT_EQ(errors.rfind("StatusMonitorQ62m: serial receive on " + pty.Path() + ": handler failed\n", 0), 0u)
        << errors;
}

TEST_F(MSCommTest, UnsentBytesCanBeDroppedAndTheRestReachesTheDeviceUnchanged)
{
    comm.SetPortOpen(true);
    comm.SetOutput("dropped");
    comm.SetOutBufferCount(0);
    EXPECT_EQ(comm.OutBufferCount(), 0);
    const std::string kept("\x1D\x61\x01\x00\xFF", 5);
    comm.SetOutput(kept);
    ASSERT_TRUE(PumpUntil([&] { return comm.OutBufferCount() == 0; }));
    EXPECT_EQ(pty.ReadAvailable(), kept);
    EXPECT_RUNTIME_ERROR(comm.SetOutBufferCount(1), kErrComInvalidPropertyValue, "");
}

TEST_F(MSCommTest, ADeviceThatGoesAwayFailsWritesWith8021UntilClosed)
{
    int events = 0;
    comm.OnComm = [&] { ++events; };
    comm.SetPortOpen(true);
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

}  // namespace
