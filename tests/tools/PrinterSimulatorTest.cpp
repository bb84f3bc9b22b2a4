// The simulator as a monitor meets it: the real executable, reached over
// loopback TCP and over its pseudo-terminal, changed by typed commands.
#include "support/SimulatorProcess.h"
#include "TestClient.h"

#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const ByteList kAllWell = {0x00, 0x00, 0x00, 0xF0};

// Short enough to keep the suite quick, long enough for a loaded machine to
// deliver an answer that was going to come.
constexpr int kQuietWaitMs = 300;

class SimulatorOnTcp : public ::testing::Test {
protected:
    SimulatorProcess sim{{"--tcp", "0"}};

    void SetUp() override { ASSERT_TRUE(sim.Ready()) << sim.Errors(); }

    Received PollOnce()
    {
        TestClient client = TestClient::Tcp(sim.TcpPort());
        EXPECT_TRUE(client.Open()) << "connect failed: errno " << client.ConnectError();
        return client.Poll();
    }
};

TEST_F(SimulatorOnTcp, AnswersAllWellAndLogsRequestAndAnswer)
{
    EXPECT_EQ(PollOnce().bytes, kAllWell);
    EXPECT_TRUE(sim.WaitForLine("printer1 <- 1D 61 01"));
    EXPECT_TRUE(sim.WaitForLine("printer1 -> 00 00 00 F0"));
}

TEST_F(SimulatorOnTcp, EachConditionCommandSetsItsBitInTheAnswer)
{
    const std::pair<const char*, const char*> commands[] = {
        {"paper low", "01 00 00 F0"},    {"head open", "02 00 00 F0"},
        {"paper empty", "04 00 00 F0"},  {"over temperature", "08 00 00 F0"},
        {"cutter error", "10 00 00 F0"}, {"paper held", "00 01 00 F0"},
        {"paper jam", "00 02 00 F0"},    {"presenter jam", "00 04 00 F0"},
        {"load error", "00 10 00 F0"},
    };
    for (const auto& [command, answer] : commands) {
        sim.Command("all well");
        EXPECT_NE(sim.Command(command).find(answer), std::string::npos) << command;
        EXPECT_EQ(PollOnce().bytes, Hex(answer)) << command;
    }
}

TEST_F(SimulatorOnTcp, ConditionsAddUpUntilClearedOrAllWell)
{
    sim.Command("paper low");
    sim.Command("head open");
    sim.Command("presenter jam");
    EXPECT_EQ(PollOnce().bytes, Hex("03 04 00 F0"));
    sim.Command("clear head open");
    EXPECT_EQ(PollOnce().bytes, Hex("01 04 00 F0"));
    sim.Command("all well");
    EXPECT_EQ(PollOnce().bytes, kAllWell);
}

TEST_F(SimulatorOnTcp, RawAnswersExactlyTheBytesGiven)
{
    sim.Command("raw 04 00 12 F0 55");
    TestClient client = TestClient::Tcp(sim.TcpPort());
    client.Send(kRequest);
    EXPECT_EQ(client.Receive(5).bytes, Hex("04 00 12 F0 55"));
    EXPECT_TRUE(client.Receive(1, kQuietWaitMs).bytes.empty());
}

TEST_F(SimulatorOnTcp, EveryRequestOnAConnectionGetsItsOwnAnswer)
{
    sim.Command("paper held");
    TestClient client = TestClient::Tcp(sim.TcpPort());
    client.Send({0x1D, 0x61, 0x01, 0x1D, 0x61, 0x01});
    EXPECT_EQ(client.Receive(8).bytes, Hex("00 01 00 F0 00 01 00 F0"));
    EXPECT_EQ(client.Poll().bytes, Hex("00 01 00 F0"));
}

TEST_F(SimulatorOnTcp, OtherBytesAreLoggedAndIgnoredAndASplitRequestIsAnswered)
{
    TestClient client = TestClient::Tcp(sim.TcpPort());
    client.Send({0x41, 0x42, 0x1D});
    EXPECT_TRUE(client.Receive(1, kQuietWaitMs).bytes.empty());
    client.Send({0x61, 0x01});
    EXPECT_EQ(client.Receive(4).bytes, kAllWell);
    EXPECT_TRUE(sim.WaitForLine("printer1 <- 41 42 (not a status request, ignored)"));
}

TEST_F(SimulatorOnTcp, ServesSeveralClientsAtOnce)
{
    TestClient first = TestClient::Tcp(sim.TcpPort());
    TestClient second = TestClient::Tcp(sim.TcpPort());
    EXPECT_EQ(second.Poll().bytes, kAllWell);
    EXPECT_EQ(first.Poll().bytes, kAllWell);
}

TEST_F(SimulatorOnTcp, SilentReadsRequestsButNeverAnswers)
{
    sim.Command("silent");
    TestClient client = TestClient::Tcp(sim.TcpPort());
    Received received = client.Poll(kQuietWaitMs);
    EXPECT_TRUE(received.bytes.empty());
    EXPECT_FALSE(received.closed);
    EXPECT_TRUE(sim.WaitForLine("printer1 <- 1D 61 01"));
    sim.Command("normal");
    EXPECT_EQ(client.Poll().bytes, kAllWell);
}

TEST_F(SimulatorOnTcp, DelayHoldsEachAnswerBack)
{
    sim.Command("cutter error");
    sim.Command("delay 300");
    TestClient client = TestClient::Tcp(sim.TcpPort());
    Received received = client.Poll(3000);
    EXPECT_EQ(received.bytes, Hex("10 00 00 F0"));
    EXPECT_GE(received.elapsedMs, 280);
    sim.Command("normal");
    EXPECT_EQ(client.Poll().bytes, Hex("10 00 00 F0"));
}

TEST_F(SimulatorOnTcp, AClientThatLeavesBeforeADelayedAnswerDoesNotHurt)
{
    sim.Command("delay 100");
    {
        TestClient client = TestClient::Tcp(sim.TcpPort());
        client.Send(kRequest);
    }
    EXPECT_TRUE(sim.WaitForLine("ended"));
    sim.Command("normal");
    EXPECT_EQ(PollOnce().bytes, kAllWell);
}

TEST_F(SimulatorOnTcp, CloseEndsEachConnectionWithoutAnswering)
{
    TestClient before = TestClient::Tcp(sim.TcpPort());
    sim.Command("close");
    TestClient after = TestClient::Tcp(sim.TcpPort());
    Received fresh = after.Poll();
    EXPECT_TRUE(fresh.closed);
    EXPECT_TRUE(fresh.bytes.empty());
    // A connection made before the command is closed at its next request.
    Received older = before.Poll();
    EXPECT_TRUE(older.closed);
    EXPECT_TRUE(older.bytes.empty());
}

TEST_F(SimulatorOnTcp, EarlyPutsTheTerminatorSecond)
{
    sim.Command("paper low");
    sim.Command("early");
    EXPECT_EQ(PollOnce().bytes, Hex("01 F0 00 F0"));
}

TEST_F(SimulatorOnTcp, GarbageAnswersBytesWithoutATerminator)
{
    sim.Command("garbage");
    Received shortGarbage = PollOnce();
    EXPECT_EQ(shortGarbage.bytes.size(), 4u);
    sim.Command("garbage 2000");
    TestClient client = TestClient::Tcp(sim.TcpPort());
    client.Send(kRequest);
    Received longGarbage = client.Receive(2001, 1000);
    EXPECT_EQ(longGarbage.bytes.size(), 2000u);
    for (const ByteList& bytes : {shortGarbage.bytes, longGarbage.bytes})
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xF0), 0);
}

TEST_F(SimulatorOnTcp, StopListeningRefusesConnectionsUntilListenOnTheSamePort)
{
    const uint16_t port = sim.TcpPort();
    TestClient open = TestClient::Tcp(port);
    sim.Command("stop listening");
    EXPECT_TRUE(open.Poll().closed);
    TestClient refused = TestClient::Tcp(port);
    EXPECT_FALSE(refused.Open());
    EXPECT_EQ(refused.ConnectError(), ECONNREFUSED);
    EXPECT_NE(sim.Command("listen").find("(normal, listening)"), std::string::npos);
    TestClient again = TestClient::Tcp(port);
    ASSERT_TRUE(again.Open());
    EXPECT_EQ(again.Poll().bytes, kAllWell);
}

TEST_F(SimulatorOnTcp, UnknownCommandIsReportedAndServingGoesOn)
{
    sim.Type("paper low");
    sim.Type("paper fell out");
    EXPECT_NE(sim.Errors("paper fell out", 3000).find("stdin:2: unknown command 'paper fell out'"),
              std::string::npos);
    sim.Type("delay never");
    EXPECT_NE(sim.Errors("delay", 3000).find("stdin:3:"), std::string::npos);
    EXPECT_EQ(PollOnce().bytes, Hex("01 00 00 F0"));
}

TEST_F(SimulatorOnTcp, HelpListsTheCommands)
{
    sim.Type("help");
    for (const char* command : {"paper low", "presenter jam", "clear", "all well", "raw HH", "silent",
                                "delay MS", "close", "early", "garbage", "normal", "stop listening",
                                "listen", "show", "sleep MS", "help", "quit"})
        EXPECT_TRUE(sim.WaitForLine(command)) << command;
}

TEST_F(SimulatorOnTcp, EndOfStdinKeepsServingUntilSigterm)
{
    sim.Type("head open");
    sim.CloseStdin();
    EXPECT_TRUE(sim.WaitForLine("standard input ended"));
    EXPECT_EQ(PollOnce().bytes, Hex("02 00 00 F0"));
    EXPECT_EQ(sim.WaitForExit(200), -1);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitForExit(3000), 0);
}

TEST_F(SimulatorOnTcp, QuitEndsTheSimulatorCleanly)
{
    sim.Type("quit");
    EXPECT_EQ(sim.WaitForExit(3000), 0);
}

class SimulatorOnPty : public ::testing::Test {
protected:
    SimulatorProcess sim{{"--pty", "--tcp", "0"}};

    void SetUp() override
    {
        ASSERT_TRUE(sim.Ready()) << sim.Errors();
        ASSERT_EQ(sim.PtyPath().rfind("/dev/pts/", 0), 0u) << sim.PtyPath();
    }
};

TEST_F(SimulatorOnPty, AnswersOnThePtyAsOnTcp)
{
    sim.Command("over temperature");
    TestClient serial = TestClient::Pty(sim.PtyPath());
    ASSERT_TRUE(serial.Open());
    EXPECT_EQ(serial.Poll().bytes, Hex("08 00 00 F0"));
    TestClient network = TestClient::Tcp(sim.TcpPort());
    EXPECT_EQ(network.Poll().bytes, Hex("08 00 00 F0"));
}

TEST_F(SimulatorOnPty, KeepsAnsweringAfterTheDeviceIsClosedAndOpenedAgain)
{
    for (int poll = 0; poll < 3; ++poll) {
        {
            TestClient serial = TestClient::Pty(sim.PtyPath());
            ASSERT_TRUE(serial.Open()) << "poll " << poll;
            EXPECT_EQ(serial.Poll().bytes, kAllWell) << "poll " << poll;
        }
        // Answering on TCP takes the simulator through its loop after the
        // device was closed, where a hangup of the pty would show.
        EXPECT_EQ(TestClient::Tcp(sim.TcpPort()).Poll().bytes, kAllWell);
    }
}

TEST_F(SimulatorOnPty, MisbehavesOnThePtyToo)
{
    TestClient serial = TestClient::Pty(sim.PtyPath());
    sim.Command("paper empty");
    sim.Command("early");
    EXPECT_EQ(serial.Poll().bytes, Hex("04 F0 00 F0"));
    sim.Command("delay 200");
    Received late = serial.Poll();
    EXPECT_EQ(late.bytes, Hex("04 00 00 F0"));
    EXPECT_GE(late.elapsedMs, 180);
    sim.Command("garbage");
    Received garbage = serial.Poll();
    EXPECT_EQ(garbage.bytes.size(), 4u);
    EXPECT_EQ(std::count(garbage.bytes.begin(), garbage.bytes.end(), 0xF0), 0);
}

TEST_F(SimulatorOnPty, SilentCloseAndStopListeningAnswerNothingOnThePty)
{
    TestClient serial = TestClient::Pty(sim.PtyPath());
    for (const char* command : {"silent", "close", "stop listening"}) {
        sim.Command("normal");
        sim.Command(command);
        Received received = serial.Poll(kQuietWaitMs);
        EXPECT_TRUE(received.bytes.empty()) << command;
        EXPECT_FALSE(received.closed) << command;
    }
    sim.Command("listen");
    sim.Command("normal");
    EXPECT_EQ(serial.Poll().bytes, kAllWell);
}

TEST_F(SimulatorOnPty, AnAnswerHeldBackIsDroppedWhenThePrinterStopsListening)
{
    TestClient serial = TestClient::Pty(sim.PtyPath());
    sim.Command("delay 200");
    serial.Send(kRequest);
    ASSERT_TRUE(sim.WaitForLine("holds the answer back"));
    sim.Command("stop listening");
    EXPECT_TRUE(serial.Receive(1, 500).bytes.empty());
}

TEST(SimulatorPrinters, ANamedCommandChangesThatPrinterAndABareOneChangesAll)
{
    SimulatorProcess sim{{"--printer", "front", "--tcp", "0", "--printer", "back", "--tcp", "0", "--pty"}};
    ASSERT_TRUE(sim.Ready()) << sim.Errors();
    EXPECT_NE(sim.Command("back head open", "back").find("02 00 00 F0"), std::string::npos);
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort("front")).Poll().bytes, kAllWell);
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort("back")).Poll().bytes, Hex("02 00 00 F0"));
    EXPECT_EQ(TestClient::Pty(sim.PtyPath("back")).Poll().bytes, Hex("02 00 00 F0"));

    sim.Type("cutter error");
    EXPECT_TRUE(sim.WaitForLine("front answers 10 00 00 F0"));
    EXPECT_TRUE(sim.WaitForLine("back answers 12 00 00 F0"));
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort("front")).Poll().bytes, Hex("10 00 00 F0"));
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort("back")).Poll().bytes, Hex("12 00 00 F0"));
}

TEST(SimulatorScript, RunsItsCommandsInOrderWithSleeps)
{
    TempDir dir;
    dir.Write("faults.txt", "# a paper run-out\npaper low\nsleep 400\npaper empty\nclear paper low\n");
    SimulatorProcess sim{{"--tcp", "0", "--no-stdin", "--script", dir.File("faults.txt")}};
    ASSERT_TRUE(sim.Ready()) << sim.Errors();
    ASSERT_TRUE(sim.WaitForLine("printer1 answers 01 00 00 F0"));
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort()).Poll().bytes, Hex("01 00 00 F0"));
    ASSERT_TRUE(sim.WaitForLine("printer1 answers 04 00 00 F0", 3000));
    EXPECT_EQ(TestClient::Tcp(sim.TcpPort()).Poll().bytes, Hex("04 00 00 F0"));
    EXPECT_EQ(sim.Errors(), "");
}

TEST(SimulatorStart, AMissingScriptEndsWithAMessage)
{
    SimulatorProcess sim{{"--tcp", "0", "--script", "/nonexistent/faults.txt"}};
    EXPECT_EQ(sim.WaitForExit(3000), 1);
    EXPECT_NE(sim.Errors().find("/nonexistent/faults.txt"), std::string::npos);
}

TEST(SimulatorStart, APortInUseEndsWithAMessageNamingIt)
{
    SimulatorProcess first{{"--tcp", "0"}};
    ASSERT_TRUE(first.Ready());
    const std::string port = std::to_string(first.TcpPort());
    SimulatorProcess second{{"--tcp", "127.0.0.1:" + port}};
    EXPECT_EQ(second.WaitForExit(3000), 1);
    EXPECT_NE(second.Errors().find("127.0.0.1:" + port + ": bind:"), std::string::npos);
}

TEST(SimulatorStart, ABadCommandLineEndsWithUsage)
{
    SimulatorProcess sim{{"--printer", "paper"}};
    EXPECT_EQ(sim.WaitForExit(3000), 2);
    EXPECT_NE(sim.Errors().find("Usage: q62m-printer-sim"), std::string::npos);
}

}
