// A status client's connect-request-answer time against the monitor while it
// waits between passes, beside the same exchange against a minimal loopback
// server that answers four fixed bytes, measured in the same run. The
// monitor runs as its real executable, headless, with one USB printer served
// by the test USB library (all well) and its status on a loopback port.
//
//   StatusServerBench [exchanges]      (default 2000)
#include "runtime/PrinterProtocol.h"
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Steady = std::chrono::steady_clock;
const std::string kRequest(PrinterProtocol::kStatusRequest);
const std::string kAnswer(PrinterProtocol::kAllWell);

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "StatusServerBench: %s\n", what.c_str());
    std::exit(1);
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// One client exchange; the time in microseconds, or a negative value when
// the server refused or did not answer in full.
double Exchange(int port)
{
    const auto start = Steady::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address = Loopback(port);
    double result = -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && send(fd, kRequest.data(), kRequest.size(), 0) == 3) {
        char buffer[8];
        size_t got = 0;
        while (got < 4) {
            const ssize_t n = recv(fd, buffer + got, sizeof buffer - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got == 4)
            result = std::chrono::duration<double, std::micro>(Steady::now() - start).count();
    }
    close(fd);
    return result;
}

// The minimal server: accepts, reads the request, answers four bytes,
// closes when the client does.
void MinimalServer(int listener, std::atomic<bool>& stop)
{
    while (!stop) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        char buffer[16];
        while (recv(fd, buffer, sizeof buffer, 0) > 0)
            send(fd, kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL);
        close(fd);
    }
}

struct Figures {
    double median = 0;
    double p99 = 0;
    int failed = 0;
};

// The monitor serves one client at a time and listens again only once the
// previous client's close has reached it; a client that comes back at once
// may be refused. Such a refusal is counted and the client tries again a
// millisecond later; only the exchange that went through is timed.
Figures Measure(int port, int count)
{
    std::vector<double> times;
    Figures figures;
    for (int i = 0; i < count; ++i) {
        double t = Exchange(port);
        for (int retry = 0; t < 0 && retry < 100; ++retry) {
            ++figures.failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            t = Exchange(port);
        }
        if (t >= 0)
            times.push_back(t);
    }
    if (times.empty())
        Die("no exchange succeeded");
    std::sort(times.begin(), times.end());
    figures.median = times[times.size() / 2];
    figures.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    return figures;
}

pid_t StartMonitor(const std::filesystem::path& dir, int port)
{
    namespace fs = std::filesystem;
    fs::copy_file(Q62M_EXECUTABLE, dir / "StatusMonitorQ62m", fs::copy_options::overwrite_existing);
    fs::copy_file(Q62M_FAKE_ZORVADEV, dir / "libZorvadev.so", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "StatusMonitorQ62m.ini")
        << "[General]\nUpdateInterval=3600\n[Printer1]\nPort=-1\nStatusServerSocket=" << port << "\n";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("ZORVADEV_CONTROL");
    unsetenv("ZORVADEV_COUNTS");
    const std::string program = (dir / "StatusMonitorQ62m").string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        Die("cannot start the monitor");
    return pid;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    char pattern[] = "/tmp/q62m-bench-XXXXXX";
    if (!mkdtemp(pattern))
        Die("mkdtemp");
    const std::filesystem::path dir(pattern);

    const int monitorPort = FreePort();
    const pid_t monitor = StartMonitor(dir, monitorPort);
    // The first pass fills the store; the monitor then waits an hour.
    const auto deadline = Steady::now() + std::chrono::seconds(15);
    while (Exchange(monitorPort) < 0) {
        if (Steady::now() > deadline)
            Die("the monitor never answered");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 16);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::atomic<bool> stop{false};
    std::thread server(MinimalServer, listener, std::ref(stop));

    // Alternate the two in rounds so that both see the same machine load.
    Figures monitorFigures;
    Figures minimalFigures;
    std::vector<double> monitorMedians;
    std::vector<double> minimalMedians;
    const int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        const Figures m = Measure(monitorPort, count / rounds);
        const Figures b = Measure(ntohs(address.sin_port), count / rounds);
        monitorFigures.failed += m.failed;
        minimalFigures.failed += b.failed;
        monitorFigures.p99 = std::max(monitorFigures.p99, m.p99);
        minimalFigures.p99 = std::max(minimalFigures.p99, b.p99);
        monitorMedians.push_back(m.median);
        minimalMedians.push_back(b.median);
    }
    std::sort(monitorMedians.begin(), monitorMedians.end());
    std::sort(minimalMedians.begin(), minimalMedians.end());
    monitorFigures.median = monitorMedians[rounds / 2];
    minimalFigures.median = minimalMedians[rounds / 2];

    stop = true;
    shutdown(listener, SHUT_RDWR);
    close(listener);
    Exchange(ntohs(address.sin_port));
    server.join();
    kill(monitor, SIGTERM);
    waitpid(monitor, nullptr, 0);
    std::filesystem::remove_all(dir);

    std::printf("status exchanges: %d against each server (connect, request, 4-byte answer)\n", count);
    std::printf("monitor (waiting between passes): median %8.1f us   p99 %8.1f us   refused, retried %d\n",
                monitorFigures.median, monitorFigures.p99, monitorFigures.failed);
    std::printf("minimal loopback server:          median %8.1f us   p99 %8.1f us   refused, retried %d\n",
                minimalFigures.median, minimalFigures.p99, minimalFigures.failed);
    std::printf("ratio monitor / minimal:          median %8.2f        p99 %8.2f\n",
                monitorFigures.median / minimalFigures.median, monitorFigures.p99 / minimalFigures.p99);
    return 0;
}
