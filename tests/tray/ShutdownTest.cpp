// Signals end the real executable through its shutdown: the printer link
// and the status servers are closed and the program ends with status 0, at
// once while it waits between passes and without waiting out a poll.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kRequest("\x1D\x61\x01", 3);
const std::string kStatus("\x04\x00\x12\xF0", 4);

double SecondsSince(Steady::time_point start)
{
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// A client whose request the status server on `port` has answered: its
// connection has been accepted. The server takes one client at a time, so
// this waits for it to listen again after an earlier one.
std::unique_ptr<StatusClient> ServedClient(int32_t port)
{
    const auto deadline = Steady::now() + std::chrono::seconds(10);
    while (Steady::now() < deadline) {
        auto client = std::make_unique<StatusClient>(port);
        if (client->Connected()) {
            client->Send(kRequest);
            if (client->Receive(4, 1000) == kStatus)
                return client;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

// A network printer that takes the status request and never answers it.
class SilentPrinter {
public:
    SilentPrinter()
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentPrinter()
    {
        if (connection_ >= 0)
            close(connection_);
        close(listener_);
    }

    int32_t Port() const { return port_; }

    // Accepts the monitor's connection and reads its request.
    bool TakeRequest(int timeoutMs)
    {
        if (!Readable(listener_, timeoutMs))
            return false;
        connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string request;
        char buffer[16];
        while (request.size() < kRequest.size() && Readable(connection_, timeoutMs)) {
            const ssize_t n = recv(connection_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        return request == kRequest;
    }

    // True when the monitor ended the connection within `timeoutMs`.
    bool ClosedWithin(int timeoutMs)
    {
        char byte;
        return Readable(connection_, timeoutMs) && recv(connection_, &byte, 1, 0) <= 0;
    }

private:
    static bool Readable(int fd, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 1;
    }

    int listener_ = -1;
    int connection_ = -1;
    int32_t port_ = 0;
};

class SignalShutdownTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalShutdownTest, WhileTheLoopWaitsTheProgramClosesBothServersAndEndsAtOnceWithStatusZero)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    FakeZorvadevControl::Install(dir.Path());
    control.SetBytes(kStatus);
    const int32_t port1 = FreeLoopbackPort();
    const int32_t port2 = FreeLoopbackPort();
    dir.Write("StatusMonitorQ62m.ini", "[General]\nPrinters=2\nUpdateInterval=600\n[Printer1]\nPort=-1\n"
                                       "StatusServerSocket=" + std::to_string(port1) + "\n[Printer2]\nPort=-1\n"
                                       "StatusServerSocket=" + std::to_string(port2) + "\n");
    ProgramRun run(dir);
    control.ApplyTo(run);
    run.Start();
    const std::unique_ptr<StatusClient> client1 = ServedClient(port1);
    const std::unique_ptr<StatusClient> client2 = ServedClient(port2);
    ASSERT_TRUE(client1 && client2) << "the status servers never answered";

    const auto start = Steady::now();
    ASSERT_EQ(kill(static_cast<pid_t>(run.Pid()), GetParam()), 0);
    ASSERT_TRUE(run.WaitForExit(10000)) << "still waiting out its 600-second pause";
    const double seconds = SecondsSince(start);
    EXPECT_EQ(run.ExitCode(), 0) << run.StandardError();
    EXPECT_TRUE(client1->ClosedWithin(1000));
    EXPECT_TRUE(client2->ClosedWithin(1000));
    std::printf("[ measured ] signal %d to the end of the program: %.3f s\n", GetParam(), seconds);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalShutdownTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST(PollShutdownTest, ASignalDuringAPollClosesThePrinterLinkAndEndsWithoutWaitingForTheReply)
{
    TempDir dir;
    SilentPrinter printer;
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=600\n[Printer1]\nPort=0\nIP=127.0.0.1\nSocket="
                                           + std::to_string(printer.Port()) + "\n");
    ProgramRun run(dir);
    run.Start();
    ASSERT_TRUE(printer.TakeRequest(10000)) << "the monitor never asked the printer";

    const auto start = Steady::now();
    run.Terminate();
    EXPECT_TRUE(printer.ClosedWithin(4000)) << "the printer link stayed open";
    ASSERT_TRUE(run.WaitForExit(10000));
    const double seconds = SecondsSince(start);
    EXPECT_EQ(run.ExitCode(), 0) << run.StandardError();
    EXPECT_LT(seconds, 4.5) << "the 5-second reply wait ran out first";
    std::printf("[ measured ] SIGTERM during a poll to the end of the program: %.3f s\n", seconds);
}

TEST(HeadlessRunTest, TheProgramWritesNothingAndEndsCleanlyOnSignal)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    FakeZorvadevControl::Install(dir.Path());
    dir.Write("StatusMonitorQ62m.ini", "[General]\nUpdateInterval=600\n[Printer1]\nPort=-1\n");
    ProgramRun run(dir);
    control.ApplyTo(run);
    run.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(run.Running());
    run.Terminate();
    ASSERT_TRUE(run.WaitForExit(10000));
    EXPECT_EQ(run.ExitCode(), 0);
    EXPECT_EQ(run.StandardError(), "");
}

}  // namespace
