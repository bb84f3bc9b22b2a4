// The real executable, headless, polling printers and serving their status.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

const std::string kRequest("\x1D\x61\x01", 3);

// Asks the status server on `port` until it answers `expected` or
// `timeoutMs` passes; answers the last answer received.
std::string AskUntil(int32_t port, const std::string& expected, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string answer;
    while (std::chrono::steady_clock::now() < deadline) {
        StatusClient client(port);
        if (client.Connected()) {
            client.Send(kRequest);
            answer = client.Receive(4, 500);
            if (answer == expected)
                return answer;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return answer;
}

TEST(MonitorRunTest, AUsbPrinterIsPolledAndItsStatusServedUntilItChanges)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    FakeZorvadevControl::Install(dir.Path());
    control.SetBytes(std::string("\x04\x00\x12\xF0", 4));
    const int32_t port = FreeLoopbackPort();
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=1\n[Printer1]\nPort=-1\nStatusServerSocket="
                                           + std::to_string(port) + "\n");
    ProgramRun run(dir);
    control.ApplyTo(run);
    run.Start();

    EXPECT_EQ(AskUntil(port, std::string("\x04\x00\x12\xF0", 4), 10000), std::string("\x04\x00\x12\xF0", 4));
    control.SetBytes(std::string("\x00\x01\x00\xF0", 4));
    EXPECT_EQ(AskUntil(port, std::string("\x00\x01\x00\xF0", 4), 10000), std::string("\x00\x01\x00\xF0", 4));

    // A failing library leaves the last good status in the store.
    control.SetMode(FakeZorvadevMode::Fail);
    control.ResetCounts();
    ASSERT_TRUE(PumpUntil([&] { return control.StatusReads() >= 2; }, 10000));
    EXPECT_EQ(AskUntil(port, std::string("\x00\x01\x00\xF0", 4), 2000), std::string("\x00\x01\x00\xF0", 4));
    // A poll may be between its open and its close just now, no more.
    EXPECT_GE(control.Opens(), 2);
    EXPECT_LE(control.Opens() - control.Closes(), 1) << "every open is closed again";
    EXPECT_TRUE(run.Running());
}

}  // namespace

namespace {

TEST(MonitorRunTest, TwoNetworkPrintersAreServedEachOnItsOwnStatusPort)
{
    SimulatorProcess simulator({"--quiet", "--printer", "front", "--tcp", "0", "--printer", "back", "--tcp", "0"});
    ASSERT_TRUE(simulator.Ready());
    simulator.Command("back paper empty", "back");
    TempDir dir;
    const int32_t port1 = FreeLoopbackPort();
    const int32_t port2 = FreeLoopbackPort();
    dir.Write("StatusMonitorQ62m.ini",
              "[General]\nPrinters=2\nUpdateInterval=1\n"
              "[Printer1]\nPort=0\nIP=127.0.0.1\nSocket=" + std::to_string(simulator.TcpPort("front"))
                  + "\nStatusServerSocket=" + std::to_string(port1) + "\n"
              "[Printer2]\nPort=0\nIP=127.0.0.1\nSocket=" + std::to_string(simulator.TcpPort("back"))
                  + "\nStatusServerSocket=" + std::to_string(port2) + "\n");
    ProgramRun run(dir);
    run.Start();
    EXPECT_EQ(AskUntil(port1, std::string("\x00\x00\x00\xF0", 4), 10000), std::string("\x00\x00\x00\xF0", 4));
    EXPECT_EQ(AskUntil(port2, std::string("\x04\x00\x00\xF0", 4), 10000), std::string("\x04\x00\x00\xF0", 4));
    simulator.Command("front head open", "front");
    EXPECT_EQ(AskUntil(port1, std::string("\x02\x00\x00\xF0", 4), 10000), std::string("\x02\x00\x00\xF0", 4));
    EXPECT_TRUE(run.Running());
}

}  // namespace

namespace {

TEST(MonitorRunTest, ANetworkPrinterThatVanishesKeepsItsLastStatusAndIsReadAgainWhenItReturns)
{
    SimulatorProcess simulator({"--quiet", "--tcp", "0"});
    ASSERT_TRUE(simulator.Ready());
    TempDir dir;
    const int32_t port = FreeLoopbackPort();
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=1\n[Printer1]\nPort=0\nIP=127.0.0.1\nSocket="
                                           + std::to_string(simulator.TcpPort()) + "\nStatusServerSocket="
                                           + std::to_string(port) + "\n");
    ProgramRun run(dir);
    run.Start();
    const std::string jam("\x00\x02\x00\xF0", 4);
    const std::string allWell("\x00\x00\x00\xF0", 4);
    simulator.Command("paper jam");
    ASSERT_EQ(AskUntil(port, jam, 10000), jam);

    // Gone: no listener, then silent; the store keeps the fault.
    simulator.Command("stop listening");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(AskUntil(port, jam, 2000), jam);
    simulator.Command("listen");
    simulator.Command("silent");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(AskUntil(port, jam, 2000), jam);

    // Back, and mended.
    simulator.Command("normal");
    simulator.Command("all well");
    EXPECT_EQ(AskUntil(port, allWell, 20000), allWell);
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(run.StandardError().find("error"), std::string::npos) << "a vanished printer is no error to report";
}

}  // namespace
