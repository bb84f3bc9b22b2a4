// The real executable, headless, polling a serial printer that the printer
// simulator plays on a pseudo-terminal, and serving its status.
#include "printer/CommandExchange.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// What the status server on `port` answers now; empty when it answers
// nothing.
std::string Served(int32_t port)
{
    StatusClient client(port);
    if (!client.Connected())
        return {};
    client.Send(kStatusCommand);
    return client.Receive(4, 500);
}

bool ServedWithin(int32_t port, const std::string& expected, int ms)
{
    return PumpUntil([&] { return Served(port) == expected; }, ms);
}

TEST(SerialMonitorRunTest, ASerialPrinterIsPolledAndServedAndOutlivesItsDevice)
{
    SimulatorProcess simulator({"--quiet", "--pty"});
    ASSERT_TRUE(simulator.Ready());
    TempDir dir;
    const int32_t port = FreeLoopbackPort();
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=1\n[Printer1]\nPort=1\nDevice="
                                           + simulator.PtyPath() + "\nStatusServerSocket=" + std::to_string(port)
                                           + "\n");
    ProgramRun run(dir);
    run.Start();

    EXPECT_TRUE(ServedWithin(port, std::string("\x00\x00\x00\xF0", 4), 10000));
    simulator.Command("paper empty");
    EXPECT_TRUE(ServedWithin(port, std::string("\x04\x00\x00\xF0", 4), 10000));

    // The device goes away: polls fail quietly, the last status stays.
    simulator.Type("quit");
    EXPECT_EQ(simulator.WaitForExit(5000), 0);
    PumpFor(2500);
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(Served(port), std::string("\x04\x00\x00\xF0", 4));
    run.Terminate();
    ASSERT_TRUE(run.WaitForExit(10000));
    EXPECT_EQ(run.StandardError(), "") << "a serial printer's failures are not the user's business";
}

}  // namespace
