// The status servers of the real executable under bad clients: a flood of
// connections that close at once, leave without reading or send garbage,
// then a client that sends a megabyte. The other server keeps answering
// throughout, the troubled one serves again afterwards, and the monitor
// holds no more descriptors than before. Longer runs under load are the
// soak benchmark's.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/LoadedForm.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kStatus("\x04\x00\x12\xF0", 4);

TEST(StatusServerRobustnessTest, BadClientsOfOneServerLeaveTheOtherAnsweringAndNothingOpen)
{
    TempDir dir;
    FakeZorvadevControl control(dir);
    const int32_t troubled = FreeLoopbackPort();
    const int32_t other = FreeLoopbackPort();
    ProgramRun run(dir);
    StartServedUsbPrinters(run, dir, control, {troubled, other}, kStatus, "UpdateInterval=1");
    ASSERT_EQ(AskUntil(troubled, kStatus, 15000), kStatus);
    ASSERT_EQ(AskUntil(other, kStatus), kStatus);
    // Descriptors come and go for a moment: a poll holds the library's files,
    // a server re-listening closes its old socket before it opens the new
    // one. Over a second of samples the most frequent count is the
    // monitor's own, and the fewest tells whether any stayed behind.
    auto samples = [&] {
        std::vector<size_t> counts;
        for (int i = 0; i < 21; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            counts.push_back(DescriptorTargets(run.Pid()).size());
        std::sort(counts.begin(), counts.end());
        return counts;
    };
    const std::vector<size_t> first = samples();
    size_t before = first.front();
    for (size_t count : first)
        if (std::count(first.begin(), first.end(), count) > std::count(first.begin(), first.end(), before))
            before = count;

    // The flood: every twentieth step a client of the other server must be answered.
    std::vector<int> held;
    int asked = 0;
    int answered = 0;
    for (int i = 0; i < 400; ++i) {
        const int fd = ConnectLoopback(troubled);
        if (fd >= 0 && i % 3 == 1)
            send(fd, "\x1D\x61\x01", 3, MSG_NOSIGNAL);
        if (fd >= 0 && i % 3 == 2) {
            send(fd, "garbage", 7, MSG_NOSIGNAL);
            held.push_back(fd);
        } else if (fd >= 0) {
            close(fd);
        }
        if (held.size() > 40) {
            close(held.front());
            held.erase(held.begin());
        }
        if (i % 20 == 19) {
            ++asked;
            answered += AskUntil(other, kStatus, 2000) == kStatus;
        }
    }
    for (int fd : held)
        close(fd);
    EXPECT_EQ(answered, asked) << "the other server missed answers during the flood";

    // A megabyte in one connection is read to its end and dropped, so that a
    // request after it, in a read of its own, is answered.
    ASSERT_EQ(AskUntil(troubled, kStatus), kStatus) << "the flooded server does not serve again";
    std::unique_ptr<StatusClient> client;
    ASSERT_TRUE(PumpUntil([&] { return (client = std::make_unique<StatusClient>(troubled))->Connected(); }, 3000))
        << "the server is still busy with its last client";
    StatusClient& big = *client;
    fcntl(big.Descriptor(), F_SETFL, fcntl(big.Descriptor(), F_GETFL) | O_NONBLOCK);
    const std::string block(64 * 1024, 'x');
    size_t sent = 0;
    // The server drops each connection five seconds after taking it.
    const auto deadline = Steady::now() + std::chrono::milliseconds(4000);
    while (sent < 1024 * 1024 && Steady::now() < deadline) {
        const ssize_t n = send(big.Descriptor(), block.data(), std::min(block.size(), 1024 * 1024 - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<size_t>(n);
        pollfd writable{big.Descriptor(), POLLOUT, 0};
        poll(&writable, 1, 20);
    }
    EXPECT_EQ(sent, 1024u * 1024u) << "the server stopped reading";
    EXPECT_EQ(AskUntil(other, kStatus, 2000), kStatus);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    big.Send("\x1D\x61\x01");
    EXPECT_EQ(big.Receive(4, 1000), kStatus) << "the request after the megabyte got no answer";
    big.Close();

    EXPECT_EQ(AskUntil(troubled, kStatus), kStatus) << "the server does not serve again";
    const auto settle = Steady::now() + std::chrono::seconds(10);
    size_t after = samples().front();
    while (after > before && Steady::now() < settle)
        after = samples().front();
    EXPECT_LE(after, before) << "descriptors left open";
    EXPECT_TRUE(run.Running()) << run.StandardError();
}

}  // namespace
