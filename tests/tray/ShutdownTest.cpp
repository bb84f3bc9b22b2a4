// Signals end the real executable through its shutdown: the printer link
// and the status servers are closed and the program ends with status 0, at
// once while it waits between passes and without waiting out a poll.
#include "printer/CommandExchange.h"
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"
#include "support/StatusClient.h"
#include "support/LoadedForm.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kStatus("\x04\x00\x12\xF0", 4);

double SecondsSince(Steady::time_point start)
{
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// A client whose request the status server on `port` has answered: its
// connection is in the server's hands.
std::unique_ptr<StatusClient> ServedClient(int32_t port)
{
    std::unique_ptr<StatusClient> client;
    const bool served = PumpUntil([&] {
        client = std::make_unique<StatusClient>(port);
        return client->Send(kStatusCommand) && client->Receive(4, 1000) == kStatus;
    }, 10000);
    return served ? std::move(client) : nullptr;
}

class SignalShutdownTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalShutdownTest, WhileTheLoopWaitsTheProgramClosesBothServersAndEndsAtOnceWithStatusZero)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    const int32_t port1 = FreeLoopbackPort();
    const int32_t port2 = FreeLoopbackPort();
    ProgramRun run(dir);
    StartServedUsbPrinters(run, dir, control, {port1, port2}, kStatus, "UpdateInterval=600");
    const std::unique_ptr<StatusClient> client1 = ServedClient(port1);
    const std::unique_ptr<StatusClient> client2 = ServedClient(port2);
    ASSERT_TRUE(client1 && client2) << "the status servers never answered";

    const auto start = Steady::now();
    ASSERT_EQ(kill(static_cast<pid_t>(run.Pid()), GetParam()), 0);
    ASSERT_TRUE(run.WaitForExit(10000)) << "still waiting out its 600-second pause";
    EXPECT_EQ(run.ExitCode(), 0) << run.StandardError();
    EXPECT_TRUE(client1->ClosedWithin(1000));
    EXPECT_TRUE(client2->ClosedWithin(1000));
    std::printf("[ measured ] signal %d to the end of the program: %.3f s\n", GetParam(), SecondsSince(start));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalShutdownTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST(PollShutdownTest, ASignalDuringAPollClosesThePrinterLinkAndEndsWithoutWaitingForTheReply)
{
    SimulatorProcess printer({"--tcp", "0"});
    ASSERT_TRUE(printer.Ready());
    printer.Command("silent");
    TempDir dir;
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=600\n[Printer1]\nPort=0\nIP=127.0.0.1\nSocket="
                                           + std::to_string(printer.TcpPort()) + "\n");
    ProgramRun run(dir);
    run.Start();
    ASSERT_TRUE(printer.WaitForLine("<- 1D 61 01", 10000)) << "the monitor never asked the printer";

    const auto start = Steady::now();
    run.Terminate();
    EXPECT_TRUE(printer.WaitForLine(" ended", 4000)) << "the printer link stayed open";
    ASSERT_TRUE(run.WaitForExit(10000));
    const double seconds = SecondsSince(start);
    EXPECT_EQ(run.ExitCode(), 0) << run.StandardError();
    EXPECT_LT(seconds, 4.5) << "the 5-second reply wait ran out first";
    std::printf("[ measured ] SIGTERM during a poll to the end of the program: %.3f s\n", seconds);
}

}  // namespace
