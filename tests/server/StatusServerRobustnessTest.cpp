// The status servers of the real executable under load and bad clients: a
// flood of connections, a client that sends a megabyte, a client that asks
// and never reads, clients that connect and idle. Through each of them the
// other server keeps answering, the monitor keeps polling its USB printers
// (the test library counts the reads), the troubled server serves again
// afterwards, and the monitor holds no more descriptors than before.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kRequest("\x1D\x61\x01", 3);
const std::string kStatus("\x04\x00\x12\xF0", 4);

double SecondsSince(Steady::time_point start)
{
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// One complete exchange with a fresh connection, as a client program makes
// it: a server that is still busy with its previous client refuses, so a
// refused connection is tried again for up to two seconds. The answer, or
// what came before the server went quiet or kept refusing.
std::string Ask(int32_t port)
{
    const auto deadline = Steady::now() + std::chrono::seconds(2);
    for (;;) {
        StatusClient client(port);
        if (client.Connected()) {
            client.Send(kRequest);
            return client.Receive(4, 2000);
        }
        if (Steady::now() >= deadline)
            return "refused";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A plain client socket of its own, made non-blocking when asked.
int ConnectRaw(int32_t port, bool nonBlocking)
{
    const int fd = ConnectLoopback(port);
    if (fd >= 0 && nonBlocking)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// A monitor with two USB printers, each served on its own loopback port,
// polled every second.
class StatusServerRobustnessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeZorvadevControl::Install(dir_.Path());
        control_.SetBytes(kStatus);
        dir_.Write("StatusMonitorQ62m.ini",
                   "[General]\nPrinters=2\nUpdateInterval=1\n"
                   "[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(port1_) + "\n"
                   "[Printer2]\nPort=-1\nStatusServerSocket=" + std::to_string(port2_) + "\n");
        control_.ApplyTo(run_);
        run_.Start();
        ASSERT_EQ(AskUntil(port1_, 15000), kStatus);
        ASSERT_EQ(AskUntil(port2_, 5000), kStatus);
        baseline_ = UsualDescriptorCount();
        baselineList_ = DescriptorList();
        control_.ResetCounts();
        start_ = Steady::now();
    }

    void TearDown() override
    {
        EXPECT_TRUE(run_.Running()) << run_.StandardError();
    }

    // Asks until the answer is the status or the time is up.
    std::string AskUntil(int32_t port, int timeoutMs)
    {
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
        std::string answer;
        while (Steady::now() < deadline) {
            answer = Ask(port);
            if (answer == kStatus)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return answer;
    }

    // What each open descriptor of the monitor refers to, for a failure
    // message.
    std::string DescriptorList() const
    {
        const std::string fds = "/proc/" + std::to_string(run_.Pid()) + "/fd";
        std::string list;
        std::error_code error;
        for (auto it = std::filesystem::directory_iterator(fds, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            list += " " + it->path().filename().string() + "->"
                  + std::filesystem::read_symlink(it->path(), error).string();
        return list;
    }

    int DescriptorCount() const
    {
        const std::string fds = "/proc/" + std::to_string(run_.Pid()) + "/fd";
        std::error_code error;
        auto entries = std::filesystem::directory_iterator(fds, error);
        if (error)
            return -1;
        return static_cast<int>(std::distance(entries, std::filesystem::directory_iterator()));
    }

    // Descriptors come and go for a moment: a poll holds the library's files
    // open, a server re-listening has closed its old socket before it opens
    // the new one. Over a second of samples, the most frequent count is the
    // monitor's own, and the fewest tells whether any stayed behind.
    std::vector<int> DescriptorSamples() const
    {
        std::vector<int> counts;
        for (int i = 0; i < 21; ++i) {
            counts.push_back(DescriptorCount());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::sort(counts.begin(), counts.end());
        return counts;
    }

    int UsualDescriptorCount() const
    {
        const std::vector<int> counts = DescriptorSamples();
        int usual = counts.front();
        int run = 0;
        int best = 0;
        for (size_t i = 0; i < counts.size(); ++i) {
            run = i > 0 && counts[i] == counts[i - 1] ? run + 1 : 1;
            if (run > best) {
                best = run;
                usual = counts[i];
            }
        }
        return usual;
    }

    int FewestDescriptors() const { return DescriptorSamples().front(); }

    // After the load: the troubled server serves again, polling went on
    // throughout, and no descriptor is left behind.
    void ExpectRecovered(int32_t troubled)
    {
        EXPECT_EQ(AskUntil(troubled, 10000), kStatus) << "the server does not serve again";
        const double seconds = SecondsSince(start_);
        const int reads = control_.StatusReads();
        EXPECT_GE(reads, 2 * (static_cast<int>(seconds) - 2))
            << "polling stalled: " << reads << " status reads in " << seconds << " s";
        const auto deadline = Steady::now() + std::chrono::seconds(10);
        int fewest = FewestDescriptors();
        while (fewest > baseline_ && Steady::now() < deadline)
            fewest = FewestDescriptors();
        EXPECT_LE(fewest, baseline_) << "descriptors left open:" << DescriptorList() << "\nbefore:"
                                                      << baselineList_;
    }

    TempDir dir_;
    FakeZorvadevControl control_{dir_};
    ProgramRun run_{dir_};
    const int32_t port1_ = FreeLoopbackPort();
    const int32_t port2_ = FreeLoopbackPort();
    int baseline_ = 0;
    std::string baselineList_;
    Steady::time_point start_;
};

TEST_F(StatusServerRobustnessTest, AFloodOfConnectionsLeavesTheOtherServerAnsweringAndNothingOpen)
{
    // 400 connections, some closed at once, some asking and leaving without
    // reading, some sending garbage and held open; every twentieth step a
    // client of the other server must get its answer.
    std::vector<int> held;
    int refused = 0;
    int otherAnswered = 0;
    int otherAsked = 0;
    const auto deadline = Steady::now() + std::chrono::seconds(20);
    for (int i = 0; i < 400 && Steady::now() < deadline; ++i) {
        const int fd = ConnectRaw(port1_, false);
        if (fd < 0) {
            ++refused;
        } else if (i % 3 == 0) {
            close(fd);
        } else if (i % 3 == 1) {
            send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL);
            close(fd);
        } else {
            send(fd, "garbage", 7, MSG_NOSIGNAL);
            held.push_back(fd);
        }
        if (held.size() > 40) {
            close(held.front());
            held.erase(held.begin());
        }
        if (i % 20 == 19) {
            ++otherAsked;
            otherAnswered += Ask(port2_) == kStatus;
        }
    }
    for (int fd : held)
        close(fd);
    EXPECT_EQ(otherAnswered, otherAsked) << "the other server missed answers during the flood";
    EXPECT_GE(otherAsked, 20) << "the flood did not run its course in time";
    EXPECT_LT(refused, 400) << "the flooded server took no connection at all";
    ExpectRecovered(port1_);
}

TEST_F(StatusServerRobustnessTest, AClientSendingAMegabyteIsReadToTheEndAndTheOtherServerGoesOn)
{
    const int fd = ConnectRaw(port1_, true);
    ASSERT_GE(fd, 0);
    const std::string block(64 * 1024, 'x');
    size_t sent = 0;
    int otherAsked = 0;
    int otherAnswered = 0;
    auto nextAsk = Steady::now();
    // The server drops every connection five seconds after taking it; the
    // megabyte must be through before that.
    const auto deadline = Steady::now() + std::chrono::milliseconds(4500);
    while (sent < 1024 * 1024 && Steady::now() < deadline) {
        const ssize_t n = send(fd, block.data(), std::min(block.size(), 1024 * 1024 - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            break;
        } else {
            pollfd writable{fd, POLLOUT, 0};
            poll(&writable, 1, 20);
        }
        if (Steady::now() >= nextAsk) {
            ++otherAsked;
            otherAnswered += Ask(port2_) == kStatus;
            nextAsk = Steady::now() + std::chrono::milliseconds(200);
        }
    }
    EXPECT_EQ(sent, 1024u * 1024u) << "the server stopped reading";
    EXPECT_EQ(otherAnswered, otherAsked);
    // A request after the megabyte, in a read of its own, is answered: the
    // server dropped what it read instead of gathering it.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    char answer[8];
    EXPECT_EQ(recv(fd, answer, sizeof answer, MSG_DONTWAIT), 4) << "the request after the megabyte got no answer";
    close(fd);
    ExpectRecovered(port1_);
}

TEST_F(StatusServerRobustnessTest, AClientThatAsksAndNeverReadsIsDroppedWhileTheOtherServerAnswers)
{
    // A small receive buffer makes the answers pile up on the server's side.
    const int hog = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 2048;
    const int one = 1;
    setsockopt(hog, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    setsockopt(hog, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port1_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(hog, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    int otherAsked = 0;
    int otherAnswered = 0;
    bool dropped = false;
    const auto connected = Steady::now();
    while (SecondsSince(connected) < 7.0 && !dropped) {
        for (int i = 0; i < 5 && !dropped; ++i) {
            dropped = send(hog, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) < 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        ++otherAsked;
        otherAnswered += Ask(port2_) == kStatus;
        // The peer's end of stream, seen without reading what is queued.
        pollfd hangUp{hog, POLLRDHUP, 0};
        dropped = dropped || (poll(&hangUp, 1, 0) == 1 && (hangUp.revents & (POLLRDHUP | POLLERR | POLLHUP)));
    }
    const double heldFor = SecondsSince(connected);
    close(hog);
    EXPECT_TRUE(dropped) << "a client that never reads was kept beyond seven seconds";
    EXPECT_GE(heldFor, 4.5) << "dropped before its five seconds";
    EXPECT_EQ(otherAnswered, otherAsked);
    EXPECT_GE(otherAsked, 20);
    ExpectRecovered(port1_);
}

TEST_F(StatusServerRobustnessTest, IdleClientsOnBothServersAreDroppedAndBothServeAgain)
{
    StatusClient idle1(port1_);
    StatusClient idle2(port2_);
    ASSERT_TRUE(idle1.Connected());
    ASSERT_TRUE(idle2.Connected());
    // While they idle, each port refuses or queues others; the monitor
    // polls on.
    EXPECT_TRUE(idle1.ClosedWithin(8000)) << "an idle client was never dropped";
    EXPECT_TRUE(idle2.ClosedWithin(2000)) << "an idle client was never dropped";
    EXPECT_EQ(AskUntil(port2_, 5000), kStatus);
    ExpectRecovered(port1_);
}

}  // namespace
