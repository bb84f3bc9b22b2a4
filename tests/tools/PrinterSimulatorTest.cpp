// The printer simulator as a user and the monitor meet it: the real
// executable, reached over loopback TCP and over its pseudo-terminal, changed
// by typed commands and scripts. What the monitor's own runs against it
// already show (polls answered, silent, stop listening, named printers) is
// not repeated here.
#include "support/SimulatorProcess.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string kRequest("\x1D\x61\x01", 3);

std::string Hex(const std::string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 3)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

// A monitor's side of one link: a TCP connection, or the pseudo-terminal
// opened raw as a serial device is.
class Link {
public:
    static Link Tcp(uint16_t port) { return Link(ConnectLoopback(port)); }
    static Link Pty(const std::string& path)
    {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
        return Link(fd);
    }
    Link(Link&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ~Link()
    {
        if (fd_ >= 0)
            close(fd_);
    }

    bool Open() const { return fd_ >= 0; }
    void Send(const std::string& bytes) { [[maybe_unused]] ssize_t n = write(fd_, bytes.data(), bytes.size()); }

    // What arrives until `count` bytes came, the far end closed or `ms` passed.
    std::string Receive(size_t count, int ms = 2000)
    {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (bytes.size() < count && !closed) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            closed = n <= 0;
            bytes.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        return bytes;
    }

    std::string Poll(int ms = 2000)
    {
        Send(kRequest);
        return Receive(4, ms);
    }

    bool closed = false;

private:
    explicit Link(int fd) : fd_(fd) {}
    int fd_;
};

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.Ready()) << sim.Errors(); }

    std::string PollOnce() { return Link::Tcp(sim.TcpPort()).Poll(); }

    SimulatorProcess sim{{"--tcp", "0", "--pty"}};
};

TEST_F(SimulatorTest, EachConditionSetsItsBitAndConditionsAddUpUntilCleared)
{
    const std::pair<const char*, const char*> conditions[] = {
        {"paper low", "01 00 00 F0"},    {"head open", "02 00 00 F0"},     {"paper empty", "04 00 00 F0"},
        {"over temperature", "08 00 00 F0"}, {"cutter error", "10 00 00 F0"}, {"paper held", "00 01 00 F0"},
        {"paper jam", "00 02 00 F0"},    {"presenter jam", "00 04 00 F0"}, {"load error", "00 10 00 F0"}};
    for (const auto& [command, answer] : conditions) {
        sim.Command("all well");
        EXPECT_NE(sim.Command(command).find(answer), std::string::npos) << command;
        EXPECT_EQ(PollOnce(), Hex(answer)) << command;
    }
    sim.Command("all well");
    sim.Command("paper low");
    sim.Command("head open");
    sim.Command("presenter jam");
    EXPECT_EQ(PollOnce(), Hex("03 04 00 F0"));
    sim.Command("clear head open");
    EXPECT_EQ(PollOnce(), Hex("01 04 00 F0"));
    EXPECT_TRUE(sim.WaitForLine("printer1 <- 1D 61 01"));
    EXPECT_TRUE(sim.WaitForLine("printer1 -> 01 04 00 F0"));
}

TEST_F(SimulatorTest, MisbehavioursShapeTheAnswerOnTcpAndOnThePty)
{
    sim.Command("paper low");
    for (bool pty : {false, true}) {
        SCOPED_TRACE(pty ? "pty" : "tcp");
        Link link = pty ? Link::Pty(sim.PtyPath()) : Link::Tcp(sim.TcpPort());
        ASSERT_TRUE(link.Open());
        sim.Command("early");
        EXPECT_EQ(link.Poll(), Hex("01 F0 00 F0"));
        sim.Command("garbage 7");
        link.Send(kRequest);
        const std::string garbage = link.Receive(8, 500);
        EXPECT_EQ(garbage.size(), 7u);
        EXPECT_EQ(garbage.find('\xF0'), std::string::npos);
        sim.Command("delay 300");
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(link.Poll(3000), Hex("01 00 00 F0"));
        EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(280));
        sim.Command("normal");
        sim.Command("raw 04 00 12 F0 55");
        link.Send(kRequest);
        EXPECT_EQ(link.Receive(6, 500), Hex("04 00 12 F0 55"));
        sim.Command("all well");
        sim.Command("paper low");
    }
    Link before = Link::Tcp(sim.TcpPort());
    sim.Command("close");
    Link after = Link::Tcp(sim.TcpPort());
    EXPECT_EQ(after.Poll(), "");
    EXPECT_TRUE(after.closed) << "a new connection is closed at once";
    EXPECT_EQ(before.Poll(), "");
    EXPECT_TRUE(before.closed) << "a connection made before the command closes at its next request";
    Link pty = Link::Pty(sim.PtyPath());
    EXPECT_EQ(pty.Poll(300), "") << "a pseudo-terminal cannot hang up: it stays silent";
    EXPECT_FALSE(pty.closed);
}

TEST_F(SimulatorTest, RequestsAreFoundInAnyChunkingAndOtherBytesAreLoggedAndIgnored)
{
    Link first = Link::Tcp(sim.TcpPort());
    Link second = Link::Tcp(sim.TcpPort());
    first.Send("AB\x1D");
    EXPECT_EQ(first.Receive(1, 300), "");
    first.Send("\x61\x01");
    EXPECT_EQ(first.Receive(4), Hex("00 00 00 F0"));
    second.Send(kRequest + kRequest);
    EXPECT_EQ(second.Receive(8), Hex("00 00 00 F0 00 00 00 F0")) << "several clients, each request answered";
    EXPECT_TRUE(sim.WaitForLine("printer1 <- 41 42 (not a status request, ignored)"));
}

TEST_F(SimulatorTest, StopListeningRefusesConnectionsUntilListenOnTheSamePort)
{
    const uint16_t port = sim.TcpPort();
    Link open = Link::Tcp(port);
    sim.Command("stop listening");
    EXPECT_EQ(open.Poll(), "");
    EXPECT_TRUE(open.closed);
    EXPECT_FALSE(Link::Tcp(port).Open());
    EXPECT_NE(sim.Command("listen").find("(normal, listening)"), std::string::npos);
    EXPECT_EQ(Link::Tcp(port).Poll(), Hex("00 00 00 F0"));
}

TEST_F(SimulatorTest, UnknownCommandsAreToldAndTheEndOfInputKeepsItServingUntilSigterm)
{
    sim.Type("paper low");
    sim.Type("paper fell out");
    EXPECT_NE(sim.Errors("paper fell out", 3000).find("stdin:2: unknown command 'paper fell out'"), std::string::npos);
    sim.Type("help");
    for (const char* command : {"paper low", "clear", "all well", "raw HH", "delay MS", "garbage", "sleep MS", "quit"})
        EXPECT_TRUE(sim.WaitForLine(command)) << command;
    sim.CloseStdin();
    EXPECT_TRUE(sim.WaitForLine("standard input ended"));
    EXPECT_EQ(PollOnce(), Hex("01 00 00 F0"));
    EXPECT_EQ(sim.WaitForExit(200), -1);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitForExit(3000), 0);
}

TEST(SimulatorScript, RunsItsCommandsInOrderWithSleeps)
{
    TempDir dir;
    dir.Write("faults.txt", "# a paper run-out\npaper low\nsleep 400\npaper empty\nclear paper low\n");
    SimulatorProcess sim{{"--tcp", "0", "--no-stdin", "--script", dir.File("faults.txt")}};
    ASSERT_TRUE(sim.Ready()) << sim.Errors();
    ASSERT_TRUE(sim.WaitForLine("printer1 answers 01 00 00 F0"));
    EXPECT_EQ(Link::Tcp(sim.TcpPort()).Poll(), Hex("01 00 00 F0"));
    ASSERT_TRUE(sim.WaitForLine("printer1 answers 04 00 00 F0", 3000));
    EXPECT_EQ(Link::Tcp(sim.TcpPort()).Poll(), Hex("04 00 00 F0"));
    EXPECT_EQ(sim.Errors(), "");
}

TEST(SimulatorStart, AStartThatCannotGoOnEndsWithAMessage)
{
    SimulatorProcess first{{"--tcp", "0"}};
    ASSERT_TRUE(first.Ready());
    const std::string taken = "127.0.0.1:" + std::to_string(first.TcpPort());
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--tcp", "0", "--script", "/nonexistent/faults.txt"}, 1, "/nonexistent/faults.txt"},
        {{"--tcp", taken}, 1, taken + ": bind:"},
        {{"--printer", "paper"}, 2, "Usage: q62m-printer-sim"}};
    for (const auto& [args, status, message] : cases) {
        SimulatorProcess sim{args};
        EXPECT_EQ(sim.WaitForExit(3000), status) << message;
        EXPECT_NE(sim.Errors().find(message), std::string::npos) << sim.Errors();
    }
}

}  // namespace
