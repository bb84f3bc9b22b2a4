// Start-up of the real executable: the failures that stop it and the
// single-instance rule.
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitWaitMs = 15000;

struct FailureCase {
    const char* what;
    const char* ini;  // nullptr: no configuration file at all
    const char* message;
};

class StartupFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StartupFailureTest, EndsWithItsMessageOnStandardErrorAndANonZeroStatus)
{
    const FailureCase& c = GetParam();
    TempDir dir;
    if (c.ini)
        dir.Write("StatusMonitorQ62m.ini", c.ini);
    ProgramRun run(dir);
    run.Start();
    ASSERT_TRUE(run.WaitForExit(kExitWaitMs)) << c.what << ": still running";
    EXPECT_GT(run.ExitCode(), 0) << c.what;
    EXPECT_NE(run.StandardError().find(c.message), std::string::npos) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, StartupFailureTest,
    ::testing::Values(
        FailureCase{"missing file", nullptr, "StatusMonitorQ62m: Unable to open ini file!"},
        FailureCase{"Port=USB", "[Printer1]\nPort=USB\n", "StatusMonitorQ62m: Run-time error 13: Type mismatch"},
        FailureCase{"empty Port", "[General]\nPrinters=2\n[Printer1]\nPort=1\n[Printer2]\nPort=\n",
                    "Run-time error 13: Type mismatch"},
        FailureCase{"Printers=11",
                    "[General]\nPrinters=11\n[Printer1]\nPort=-1\n[Printer2]\nPort=-1\n[Printer3]\nPort=-1\n"
                    "[Printer4]\nPort=-1\n[Printer5]\nPort=-1\n[Printer6]\nPort=-1\n[Printer7]\nPort=-1\n"
                    "[Printer8]\nPort=-1\n[Printer9]\nPort=-1\n[Printer10]\nPort=-1\n[Printer11]\nPort=-1\n",
                    "StatusMonitorQ62m: Run-time error 6: Overflow"},
        FailureCase{"UpdateInterval overflowing", "[General]\nUpdateInterval=40000\n[Printer1]\nPort=-1\n",
                    "Run-time error 6: Overflow"}));

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!LockIsHeld(lockPath) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(LockIsHeld(lockPath)) << "the first instance never took its lock";

    ProgramRun second(dir);
    second.Start();
    ASSERT_TRUE(second.WaitForExit(kExitWaitMs));
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(second.StandardError(), "");
    EXPECT_EQ(second.StandardOutput(), "");
    EXPECT_TRUE(first.Running()) << "the running instance was disturbed";
}

}  // namespace
