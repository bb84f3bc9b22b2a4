// Start-up of the real executable: the failures that stop it and the
// single-instance rule.
#include "platform/SingleInstance.h"
#include "socket/CNetSocket.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

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

// True once some process has bound the abstract socket `name`.
bool AbstractNameIsBound(const std::string& name)
{
    std::ifstream table("/proc/net/unix");
    const std::string listing((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
    return listing.find(" @" + name + "\n") != std::string::npos;
}

TEST(StartupTest, ASecondMonitorOnTheSameConfigurationEndsAtOnceAndSilently)
{
    struct SecondStart {
        const char* how;
        const char* user;  // empty: the user who runs the test
        bool throughLink;  // from another directory, whose configuration links to the first's
    };
    const SecondStart cases[] = {{"by the same user", "", false},
                                 {"by another user", "nobody", false},
                                 {"through a link to the configuration", "", true}};
    for (const SecondStart& start : cases) {
        TempDir dir;
        TempDir other;
        for (const TempDir* d : {&dir, &other})
            std::filesystem::permissions(d->Path(), std::filesystem::perms(0755));
        dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=60\n[Printer1]\nPort=-1\n");
        std::filesystem::create_symlink(dir.File("StatusMonitorQ62m.ini"), other.File("StatusMonitorQ62m.ini"));
        ProgramRun first(dir);
        first.Start();
        const std::string name = SingleInstance::SocketName(dir.File("StatusMonitorQ62m.ini"));
        ASSERT_TRUE(PumpUntil([&] { return AbstractNameIsBound(name); }, 15000)) << "the first monitor never took @"
                                                                                << name;

        ProgramRun second(start.throughLink ? other : dir);
        if (*start.user)
            second.RunAs(start.user);
        second.Start();
        ASSERT_TRUE(second.WaitForExit(kExitWaitMs)) << start.how;
        EXPECT_EQ(second.ExitCode(), 0) << start.how;
        EXPECT_EQ(second.StandardError(), "") << start.how;
        EXPECT_EQ(second.StandardOutput(), "") << start.how;
        EXPECT_TRUE(first.Running()) << start.how << ": the running monitor was disturbed";
    }
}

}  // namespace
