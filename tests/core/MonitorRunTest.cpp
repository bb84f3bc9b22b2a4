// The real executable, headless, polling printers and serving their status.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
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
