// The real executable, headless, polling printers over each transport and
// serving their status: configuration, poll, store and status server in one
// path.
#include "support/FakeZorvadevControl.h"
#include "support/LoadedForm.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

const std::string kAllWell("\x00\x00\x00\xF0", 4);

std::string ServedIni(const std::string& printerKeys, int32_t port)
{
    return "[General]\nUpdateInterval=1\n[Printer1]\n" + printerKeys + "\nStatusServerSocket=" + std::to_string(port)
         + "\n";
}

TEST(MonitorRunTest, AUsbPrinterIsPolledAndItsStatusServedUntilItChanges)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    const std::string emptyAndHeld("\x04\x01\x12\xF0", 4);
    const int32_t port = FreeLoopbackPort();
    ProgramRun run(dir);
    StartServedUsbPrinters(run, dir, control, {port}, emptyAndHeld, "UpdateInterval=1");

    EXPECT_EQ(AskUntil(port, emptyAndHeld), emptyAndHeld);
    control.SetBytes(std::string("\x00\x01\x00\xF0", 4));
    EXPECT_EQ(AskUntil(port, std::string("\x00\x01\x00\xF0", 4)), std::string("\x00\x01\x00\xF0", 4));

    // A failing library leaves the last good status in the store.
    control.SetMode(FakeZorvadevMode::Fail);
    control.ResetCounts();
    ASSERT_TRUE(PumpUntil([&] { return control.StatusReads() >= 2; }, 10000));
    EXPECT_EQ(AskUntil(port, std::string("\x00\x01\x00\xF0", 4), 2000), std::string("\x00\x01\x00\xF0", 4));
    // A poll may be between its open and its close just now, no more.
    EXPECT_GE(control.Opens(), 2);
    EXPECT_LE(control.Opens() - control.Closes(), 1) << "every open is closed again";
    run.Terminate();
    ASSERT_TRUE(run.WaitForExit(10000));
    EXPECT_EQ(run.StandardError(), "");
}

// A kiosk may ship its own copy of the library beside the monitor; else the
// one the system's loader finds is used.
TEST(MonitorRunTest, TheUsbLibraryBesideTheExecutableComesBeforeTheLoadersOwn)
{
    TempDir loaderDir;
    FakeZorvadevControl::Install(loaderDir.Path());
    for (bool partialBeside : {false, true}) {
        TempDir dir;
        FakeZorvadevControl control(dir);
        if (partialBeside)
            FakeZorvadevControl::InstallPartial(dir.Path());
        const int32_t port = FreeLoopbackPort();
        dir.Write("StatusMonitorQ62m.ini", ServedIni("Port=-1", port));
        ProgramRun run(dir);
        control.ApplyTo(run);
        run.SetEnv("LD_LIBRARY_PATH", loaderDir.Path());
        run.Start();
        if (!partialBeside) {
            EXPECT_EQ(AskUntil(port, kAllWell), kAllWell) << "the loader's library was not found";
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return control.Opens() >= 2 && control.Closes() >= 2; }, 10000));
        EXPECT_EQ(AskUntil(port, "", 1000), "") << "the library beside the executable was passed over";
        run.Terminate();
        ASSERT_TRUE(run.WaitForExit(10000));
        const std::string errors = run.StandardError();
        EXPECT_EQ(errors.rfind("StatusMonitorQ62m: dlsym(GetSpecStatus): " + dir.File("libZorvadev.so"), 0), 0u)
            << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "told once, not at every poll:\n" << errors;
    }
}

// Two network printers, each served on its own port; one of them falls
// silent, then goes away: its last status stays in the store while the
// other is read on, and it is read again when it returns.
TEST(MonitorRunTest, NetworkPrintersAreServedEachOnItsPortAndOneThatVanishesKeepsItsLastStatus)
{
    SimulatorProcess simulator({"--printer", "front", "--tcp", "0", "--printer", "back", "--tcp", "0"});
    ASSERT_TRUE(simulator.Ready());
    const std::string jam("\x00\x02\x00\xF0", 4);
    simulator.Command("back paper jam", "back");
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
    EXPECT_EQ(AskUntil(port1, kAllWell), kAllWell);
    ASSERT_EQ(AskUntil(port2, jam), jam);

    // Silent: the monitor asks and hears nothing, and the store keeps the jam.
    simulator.Command("back silent", "back");
    ASSERT_TRUE(simulator.WaitForLine("back <- 1D 61 01", 5000));
    ASSERT_TRUE(simulator.WaitForLine("back <- 1D 61 01", 10000)) << "the silent printer was asked only once";
    EXPECT_EQ(AskUntil(port2, jam, 2000), jam);
    // Gone: no listener at all for a few passes, while the other printer is read on.
    simulator.Command("back stop listening", "back");
    simulator.Command("front head open", "front");
    EXPECT_EQ(AskUntil(port1, std::string("\x02\x00\x00\xF0", 4)), std::string("\x02\x00\x00\xF0", 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(AskUntil(port2, jam, 2000), jam);

    // Back, and mended.
    simulator.Command("back listen", "back");
    simulator.Command("back normal", "back");
    simulator.Command("back all well", "back");
    EXPECT_EQ(AskUntil(port2, kAllWell, 20000), kAllWell);
    EXPECT_EQ(run.StandardError(), "") << "a vanished printer is no error to report";
}

TEST(MonitorRunTest, ASerialPrinterIsPolledAndServedAndOutlivesItsDevice)
{
    SimulatorProcess simulator({"--quiet", "--pty"});
    ASSERT_TRUE(simulator.Ready());
    TempDir dir;
    const int32_t port = FreeLoopbackPort();
    // Through a link the test removes when the device goes: the kernel may give
    // the pseudo-terminal's number to another test's printer at once.
    const std::string device = dir.File("printer");
    std::filesystem::create_symlink(simulator.PtyPath(), device);
    dir.Write("StatusMonitorQ62m.ini", ServedIni("Port=1\nDevice=" + device, port));
    ProgramRun run(dir);
    run.Start();

    EXPECT_EQ(AskUntil(port, kAllWell), kAllWell);
    simulator.Command("paper empty");
    EXPECT_EQ(AskUntil(port, std::string("\x04\x00\x00\xF0", 4)), std::string("\x04\x00\x00\xF0", 4));

    // The device goes away: polls fail quietly, the last status stays.
    simulator.Type("quit");
    EXPECT_EQ(simulator.WaitForExit(5000), 0);
    std::filesystem::remove(device);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(AskUntil(port, std::string("\x04\x00\x00\xF0", 4), 2000), std::string("\x04\x00\x00\xF0", 4));
    run.Terminate();
    ASSERT_TRUE(run.WaitForExit(10000));
    EXPECT_EQ(run.StandardError(), "") << "a serial printer's failures are not the user's business";
}

}  // namespace
