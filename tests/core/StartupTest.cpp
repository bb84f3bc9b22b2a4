// Start-up of the real executable: the failures that stop it and the
// single-instance rule.
#include "socket/CNetSocket.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kExitWaitMs = 15000;

TEST(StartupTest, AFailureEndsTheProgramWithItsMessageAndANonZeroStatus)
{
    // A status port that another program holds.
    CNetSocket holder;
    holder.Bind(FreeLoopbackPort(), 0);
    holder.Listen();
    const std::pair<std::string, std::string> cases[] = {
        {"", "StatusMonitorQ62m: Unable to open ini file!\n"},
        {"[General]\nPrinters=2\n[Printer1]\nPort=1\n[Printer2]\nPort=USB\n",
         "StatusMonitorQ62m: Run-time error 13: Type mismatch"},
        {"[General]\nUpdateInterval=40000\n[Printer1]\nPort=-1\n", "StatusMonitorQ62m: Run-time error 6: Overflow"},
        {"[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(holder.LocalPort()) + "\n",
         "StatusMonitorQ62m: Run-time error 10048: Address already in use."}};
    for (const auto& [ini, message] : cases) {
        TempDir dir;
        if (!ini.empty())
            dir.Write("StatusMonitorQ62m.ini", ini);
        ProgramRun run(dir);
        run.Start();
        ASSERT_TRUE(run.WaitForExit(kExitWaitMs)) << message << ": still running";
        EXPECT_EQ(run.ExitCode(), 1) << message;
        EXPECT_EQ(run.StandardError().rfind(message, 0), 0u) << run.StandardError();
    }
}

TEST(StartupTest, TheConfigurationIsNamedAfterTheExecutable)
{
    TempDir dir;
    dir.Write("StatusMonitorQ62m.ini", "[Printer1]\nPort=-1\n");
    ProgramRun run(dir, "KioskMonitor");
    run.Start();
    ASSERT_TRUE(run.WaitForExit(kExitWaitMs));
    EXPECT_NE(run.StandardError().find("Unable to open ini file!"), std::string::npos);
}

// True once some process holds the lock at `path`.
bool LockIsHeld(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

TEST(StartupTest, ASecondInstanceEndsAtOnceAndSilently)
{
    TempDir dir;
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=60\n[Printer1]\nPort=-1\n");
    ProgramRun first(dir);
    first.Start();
    const std::string lockPath = dir.File("StatusMonitorQ62m.lock");
    ASSERT_TRUE(PumpUntil([&] { return LockIsHeld(lockPath); }, 15000)) << "the first instance never took its lock";

    ProgramRun second(dir);
    second.Start();
    ASSERT_TRUE(second.WaitForExit(kExitWaitMs));
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(second.StandardError(), "");
    EXPECT_EQ(second.StandardOutput(), "");
    EXPECT_TRUE(first.Running()) << "the running instance was disturbed";
}

}  // namespace
