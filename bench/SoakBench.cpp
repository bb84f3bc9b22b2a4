// The monitor over a long run under steady load: the real executable,
// headless, polls 10 printers every second while a status client asks the
// first status server 20 times a second and a hostile client takes turns at
// the second one with garbage, floods of connections and idle connections,
// and a scraper reads the metrics endpoint 10 times a second over one kept
// connection; with "flood", another client also sends pipelined scrapes to
// the metrics endpoint as fast as it can and never reads an answer; with
// "faults", the monitor's descriptor limit drops to what it holds for five
// seconds in every twenty, a shortage of descriptors again and again. Every
// second it samples the monitor's processor time, memory and open
// descriptors; at the end it prints them with their growth, the answers the
// status client missed and how long it waited, and the polls each printer
// received; for "faults", how long full service took to come back after each
// shortage, the processor time during the shortages and the lines written
// to standard error.
//
//   SoakBench [seconds] [network|usb] [flood|faults]      (default 600 network)
//
// network: 10 printers of the printer simulator on loopback TCP ports.
// usb:     10 USB printers answered by the test USB library.
// Everything is addressed on 127.0.0.1 only, and every loop ends with the
// run's duration.
#include "SimulatorProcess.h"
#include "runtime/PrinterProtocol.h"
#include "support/StatusClient.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

constexpr int kPrinters = 10;
const std::string kRequest(PrinterProtocol::kStatusRequest);
const std::string kAllWell(PrinterProtocol::kAllWell);

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "SoakBench: %s\n", what.c_str());
    std::exit(1);
}

// A client socket connected to 127.0.0.1:port with a receive time-out, or -1.
int Connect(int port, int timeoutMs)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return -1;
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// A server busy with its previous client refuses for a moment; this tries
// again for up to `patienceMs`.
int ConnectPatiently(int port, int patienceMs)
{
    const auto deadline = Steady::now() + std::chrono::milliseconds(patienceMs);
    int fd = Connect(port, 100);
    while (fd < 0 && Steady::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fd = Connect(port, 100);
    }
    return fd;
}

// One status exchange; the answer, empty when not answered in time, and
// "refused" when the connection was.
std::string Ask(int port)
{
    const int fd = Connect(port, 1000);
    if (fd < 0)
        return "refused";
    std::string answer;
    if (send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) == 3) {
        char buffer[8];
        while (answer.size() < 4) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    return answer;
}

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;
    long rssKb = 0;
    long peakKb = 0;
    int descriptors = 0;
};

long StatusField(pid_t pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, length, field) == 0)
            return std::atol(line.c_str() + length);
    return 0;
}

Sample Measure(pid_t pid, Steady::time_point start)
{
    Sample sample;
    sample.seconds = std::chrono::duration<double>(Steady::now() - start).count();
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which may hold blanks.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; fields >> field && i <= 15; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    sample.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    sample.rssKb = StatusField(pid, "VmRSS:");
    sample.peakKb = StatusField(pid, "VmHWM:");
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != fs::directory_iterator(); it.increment(error))
        ++sample.descriptors;
    return sample;
}

// The status client: 20 requests a second, each on a fresh connection.
struct ClientFigures {
    std::atomic<int> asked{0};
    std::atomic<int> answered{0};
    std::atomic<int> wrong{0};
    std::atomic<int> refused{0};
    // Connect, request and answer of each exchange; read after the run.
    std::vector<double> milliseconds;
};

void StatusClientLoop(int port, const std::atomic<bool>& stop, ClientFigures& figures)
{
    auto next = Steady::now();
    while (!stop) {
        const auto begin = Steady::now();
        const std::string answer = Ask(port);
        figures.milliseconds.push_back(std::chrono::duration<double, std::milli>(Steady::now() - begin).count());
        ++figures.asked;
        if (answer == "refused")
            ++figures.refused;
        else if (answer.size() == 4)
            ++figures.answered;
        if (answer.size() == 4 && answer != kAllWell)
            ++figures.wrong;
        next += std::chrono::milliseconds(50);
        std::this_thread::sleep_until(next);
    }
}

// The hostile client takes turns: 4 KB of garbage in odd pieces, a flood of
// 100 connections, each closed at once, an idle connection held until the server
// drops it (at most 7 s), then a pause. Each turn ends early when the run
// ends.
struct HostileFigures {
    std::atomic<int> garbageBytes{0};
    std::atomic<int> floodConnections{0};
    std::atomic<int> idleConnections{0};
};

void Garbage(int port, std::mt19937& random, HostileFigures& figures)
{
    const int fd = ConnectPatiently(port, 2000);
    if (fd < 0)
        return;
    std::string bytes(4096, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t piece = std::min<size_t>(1 + random() % 700, bytes.size() - at);
        if (send(fd, bytes.data() + at, piece, MSG_NOSIGNAL) <= 0)
            break;
        at += piece;
        figures.garbageBytes += static_cast<int>(piece);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    close(fd);
}

// Each connection is closed at once; the server, busy with the one before,
// refuses most of them.
void Flood(int port, const std::atomic<bool>& stop, HostileFigures& figures)
{
    for (int i = 0; i < 100 && !stop; ++i) {
        const int fd = Connect(port, 100);
        if (fd >= 0) {
            ++figures.floodConnections;
            close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Idle(int port, const std::atomic<bool>& stop, HostileFigures& figures)
{
    const int fd = ConnectPatiently(port, 2000);
    if (fd < 0)
        return;
    ++figures.idleConnections;
    const auto deadline = Steady::now() + std::chrono::seconds(7);
    char byte;
    while (!stop && Steady::now() < deadline) {
        const ssize_t n = recv(fd, &byte, 1, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            break;
    }
    close(fd);
}

void HostileLoop(int port, const std::atomic<bool>& stop, HostileFigures& figures)
{
    std::mt19937 random(62);
    while (!stop) {
        Garbage(port, random, figures);
        Flood(port, stop, figures);
        Idle(port, stop, figures);
        for (int i = 0; i < 20 && !stop; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// The flooder: pipelined scrapes on one connection as fast as the monitor
// takes them in, never reading an answer; a new connection whenever the
// monitor ends one.
struct FloodFigures {
    std::atomic<long long> bytes{0};
    std::atomic<int> connections{0};
};

void FloodLoop(int port, const std::atomic<bool>& stop, FloodFigures& figures)
{
    std::string requests;
    for (int i = 0; i < 1000; ++i)
        requests += "GET /metrics HTTP/1.1\r\nHost: flood\r\n\r\n";
    while (!stop) {
        const int fd = Connect(port, 100);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        ++figures.connections;
        timeval limit{0, 200000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        while (!stop) {
            const ssize_t n = send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
            if (n > 0)
                figures.bytes += n;
            else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                break;
        }
        close(fd);
    }
}

// The scraper: GET /metrics 10 times a second over a kept HTTP/1.1
// connection, connecting again when the endpoint closed it; the time of
// each full answer is kept.
struct ScrapeFigures {
    std::vector<double> milliseconds;
    int failed = 0;
    size_t bytes = 0;
};

// One answer, read up to the end of the body its Content-Length announces;
// empty when the connection failed.
std::string Scrape(int fd)
{
    static const std::string kGet = "GET /metrics HTTP/1.1\r\nHost: soak\r\n\r\n";
    if (send(fd, kGet.data(), kGet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(kGet.size()))
        return {};
    std::string answer;
    char buffer[16384];
    size_t headEnd = std::string::npos;
    size_t length = 0;
    while (headEnd == std::string::npos || answer.size() < headEnd + 4 + length) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        answer.append(buffer, static_cast<size_t>(n));
        if (headEnd == std::string::npos && (headEnd = answer.find("\r\n\r\n")) != std::string::npos) {
            const size_t field = answer.find("Content-Length: ");
            length = field < headEnd ? std::strtoul(answer.c_str() + field + 16, nullptr, 10) : 0;
        }
    }
    return answer;
}

void ScraperLoop(int port, const std::atomic<bool>& stop, ScrapeFigures& figures)
{
    int fd = -1;
    auto next = Steady::now();
    while (!stop) {
        if (fd < 0)
            fd = Connect(port, 1000);
        const auto begin = Steady::now();
        const std::string answer = fd < 0 ? std::string() : Scrape(fd);
        if (answer.rfind("HTTP/1.1 200 ", 0) == 0) {
            figures.milliseconds.push_back(std::chrono::duration<double, std::milli>(Steady::now() - begin).count());
            figures.bytes = answer.size();
        } else {
            ++figures.failed;
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
    }
    if (fd >= 0)
        close(fd);
}

// The shortages: every twenty seconds the monitor's descriptor limit drops
// to the descriptors it holds for five seconds, then comes back. Full
// service is back when a status client is answered, a scrape succeeds on a
// connection of its own and a printer has been polled since the limit came
// back.
struct FaultFigures {
    int shortages = 0;
    int neverBack = 0;
    double cpuSeconds = 0;
    std::vector<double> backMilliseconds;
};

int Descriptors(pid_t pid)
{
    int count = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != fs::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

bool ScrapedAnew(int port)
{
    const int fd = Connect(port, 1000);
    if (fd < 0)
        return false;
    const bool ok = Scrape(fd).rfind("HTTP/1.1 200 ", 0) == 0;
    close(fd);
    return ok;
}

void FaultLoop(pid_t monitor, int statusPort, int metricsPort, const std::function<int()>& polls,
               const std::atomic<bool>& stop, FaultFigures& figures)
{
    rlimit normal{};
    getrlimit(RLIMIT_NOFILE, &normal);
    auto sleepUnlessStopped = [&](double seconds) {
        const auto until = Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
        while (!stop && Steady::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    sleepUnlessStopped(10);
    while (!stop) {
        const auto start = Steady::now();
        const double cpu = Measure(monitor, start).cpuSeconds;
        rlimit scarce{static_cast<rlim_t>(Descriptors(monitor)), normal.rlim_max};
        prlimit(monitor, RLIMIT_NOFILE, &scarce, nullptr);
        ++figures.shortages;
        sleepUnlessStopped(5);
        figures.cpuSeconds += Measure(monitor, start).cpuSeconds - cpu;
        prlimit(monitor, RLIMIT_NOFILE, &normal, nullptr);
        const auto relief = Steady::now();
        const int before = polls();
        bool back = false;
        while (!stop && !back && Steady::now() - relief < std::chrono::seconds(30))
            back = Ask(statusPort) == kAllWell && ScrapedAnew(metricsPort) && polls() > before;
        if (back)
            figures.backMilliseconds.push_back(std::chrono::duration<double, std::milli>(Steady::now() - relief).count());
        else if (!stop)
            ++figures.neverBack;
        sleepUnlessStopped(15 - std::chrono::duration<double>(Steady::now() - relief).count());
    }
}

std::string NetworkPrinters(SimulatorProcess& simulator, int port1, int port2, int metricsPort)
{
    std::ostringstream ini;
    ini << "[General]\nPrinters=" << kPrinters << "\nUpdateInterval=1\nMetricsPort=" << metricsPort
        << "\nMetricsAddress=127.0.0.1\n";
    for (int i = 1; i <= kPrinters; ++i) {
        ini << "[Printer" << i << "]\nPort=0\nName=p" << i << "\nIP=127.0.0.1\nSocket=" << simulator.TcpPort("p" + std::to_string(i)) << "\n";
        if (i <= 2)
            ini << "StatusServerSocket=" << (i == 1 ? port1 : port2) << "\n";
    }
    return ini.str();
}

std::string UsbPrinters(int port1, int port2, int metricsPort)
{
    std::ostringstream ini;
    ini << "[General]\nPrinters=" << kPrinters << "\nUpdateInterval=1\nMetricsPort=" << metricsPort
        << "\nMetricsAddress=127.0.0.1\n";
    for (int i = 1; i <= kPrinters; ++i) {
        ini << "[Printer" << i << "]\nPort=-1\n";
        if (i <= 2)
            ini << "StatusServerSocket=" << (i == 1 ? port1 : port2) << "\n";
    }
    return ini.str();
}

// The test library appends an s to its counts file at every status read.
int UsbStatusReads(const fs::path& counts)
{
    std::ifstream in(counts, std::ios::binary);
    const std::string letters((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return static_cast<int>(std::count(letters.begin(), letters.end(), 's'));
}

// The fewest descriptors seen in a window of samples: a poll holds its
// printer's socket for a moment, so the fewest is the monitor's own count.
int FewestDescriptors(const std::vector<Sample>& samples, double from, double to)
{
    int fewest = -1;
    for (const Sample& sample : samples)
        if (sample.seconds >= from && sample.seconds <= to && (fewest < 0 || sample.descriptors < fewest))
            fewest = sample.descriptors;
    return fewest;
}

// Median, 99th percentile and longest, in that order.
std::string Spread(std::vector<double> milliseconds)
{
    if (milliseconds.empty())
        return "none";
    std::sort(milliseconds.begin(), milliseconds.end());
    char text[128];
    std::snprintf(text, sizeof text, "median %.2f ms, 99th percentile %.2f ms, longest %.2f ms",
                  milliseconds[milliseconds.size() / 2], milliseconds[milliseconds.size() * 99 / 100],
                  milliseconds.back());
    return text;
}

void ReportFaults(const FaultFigures& faults, const fs::path& errors)
{
    std::ifstream in(errors);
    const auto lines = std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
    std::printf("shortages: %d of 5 s; full service back after %s; %d never back within 30 s\n", faults.shortages,
                Spread(faults.backMilliseconds).c_str(), faults.neverBack);
    std::printf("processor time during the shortages: %.2f s in %d s (%.1f%% of one core)\n", faults.cpuSeconds,
                5 * faults.shortages, faults.shortages ? 100 * faults.cpuSeconds / (5 * faults.shortages) : 0.0);
    std::printf("standard error: %ld lines\n", static_cast<long>(lines));
}

void Report(const std::vector<Sample>& samples, const ClientFigures& client, const HostileFigures& hostile,
            const FloodFigures* flood, ScrapeFigures& scrapes, const std::map<std::string, int>& polls,
            double seconds)
{
    const Sample& last = samples.back();
    // Growth is judged from the end of a first minute (or tenth of the run),
    // in which caches and buffers settle, to the end; descriptors over the
    // same stretches at both ends.
    const double settle = std::min(60.0, seconds / 10);
    const Sample* settled = &samples.front();
    for (const Sample& sample : samples)
        if (sample.seconds <= settle)
            settled = &sample;
    const int early = FewestDescriptors(samples, 0, settle);
    const int late = FewestDescriptors(samples, last.seconds - settle, last.seconds);
    int most = 0;
    for (const Sample& sample : samples)
        most = std::max(most, sample.descriptors);
    std::printf("soak: %.0f s, %d printers polled every second\n", last.seconds, kPrinters);
    std::printf("processor time: %.1f s (%.1f%% of one core)\n", last.cpuSeconds,
                100.0 * last.cpuSeconds / last.seconds);
    std::printf("memory: peak %ld KiB; resident %ld KiB at %.0f s, %ld KiB at the end (growth %+ld KiB)\n",
                last.peakKb, settled->rssKb, settled->seconds, last.rssKb, last.rssKb - settled->rssKb);
    std::printf("descriptors: %d in the first %.0f s, %d in the last (growth %+d); at most %d during a poll\n",
                early, settle, late, late - early, most);
    std::printf("status client: %d asked, %d answered, %d missed (%d of them refused), %d wrong\n",
                client.asked.load(), client.answered.load(), client.asked.load() - client.answered.load(),
                client.refused.load(), client.wrong.load());
    std::printf("status client times: %s\n", Spread(client.milliseconds).c_str());
    if (flood)
        std::printf("metrics flood: %.1f MiB of pipelined requests taken in over %d connections\n",
                    static_cast<double>(flood->bytes.load()) / (1 << 20), flood->connections.load());
    std::printf("hostile client: %d garbage bytes, %d flood connections taken, %d idle connections\n",
                hostile.garbageBytes.load(), hostile.floodConnections.load(), hostile.idleConnections.load());
    std::printf("scrapes: %zu answered (%zu bytes each), %d failed; %s\n", scrapes.milliseconds.size(), scrapes.bytes,
                scrapes.failed, Spread(scrapes.milliseconds).c_str());
    int fewest = polls.size() == kPrinters ? polls.begin()->second : 0;
    int total = 0;
    for (const auto& [name, count] : polls) {
        fewest = std::min(fewest, count);
        total += count;
    }
    std::printf("polls: %d in all, %.2f per printer per second", total, total / last.seconds / kPrinters);
    if (polls.size() == kPrinters)
        std::printf("; fewest for one printer %d", fewest);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::max(10.0, std::atof(argv[1])) : 600.0;
    const bool usb = argc > 2 && std::string(argv[2]) == "usb";
    const bool flooded = argc > 3 && std::string(argv[3]) == "flood";
    const bool faulty = argc > 3 && std::string(argv[3]) == "faults";
    std::signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/q62m-soak-XXXXXX";
    if (!mkdtemp(pattern))
        Die("mkdtemp");
    const fs::path dir(pattern);
    const int port1 = FreeLoopbackPort();
    const int port2 = FreeLoopbackPort();
    const int metricsPort = FreeLoopbackPort();

    std::unique_ptr<SimulatorProcess> simulator;
    if (usb) {
        fs::copy_file(Q62M_FAKE_ZORVADEV, dir / "libZorvadev.so");
        setenv("ZORVADEV_COUNTS", (dir / "zorvadev.counts").c_str(), 1);
        unsetenv("ZORVADEV_CONTROL");
        std::ofstream(dir / "StatusMonitorQ62m.ini") << UsbPrinters(port1, port2, metricsPort);
    } else {
        std::vector<std::string> args;
        for (int i = 1; i <= kPrinters; ++i)
            args.insert(args.end(), {"--printer", "p" + std::to_string(i), "--tcp", "0"});
        simulator = std::make_unique<SimulatorProcess>(args);
        if (!simulator->Ready())
            Die("the simulator did not start its printers");
        std::ofstream(dir / "StatusMonitorQ62m.ini") << NetworkPrinters(*simulator, port1, port2, metricsPort);
    }
    fs::copy_file(Q62M_EXECUTABLE, dir / "StatusMonitorQ62m");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const int errors = open((dir / "monitor.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t monitor = SpawnChild({(dir / "StatusMonitorQ62m").string()}, -1, errors);
    if (monitor <= 0)
        Die("cannot start the monitor");
    close(errors);

    const auto start = Steady::now();
    while (Ask(port1) != kAllWell) {
        if (Steady::now() - start > std::chrono::seconds(30))
            Die("the monitor never served the first printer's status");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    std::atomic<bool> stop{false};
    ClientFigures client;
    HostileFigures hostile;
    ScrapeFigures scrapes;
    std::thread scraperThread(ScraperLoop, metricsPort, std::cref(stop), std::ref(scrapes));
    std::thread clientThread(StatusClientLoop, port1, std::cref(stop), std::ref(client));
    std::thread hostileThread(HostileLoop, port2, std::cref(stop), std::ref(hostile));
    FloodFigures flood;
    std::thread floodThread;
    if (flooded)
        floodThread = std::thread(FloodLoop, metricsPort, std::cref(stop), std::ref(flood));
    FaultFigures faults;
    std::thread faultThread;
    const std::function<int()> polled = [&] {
        int total = 0;
        if (simulator)
            for (const auto& [name, count] : simulator->Requests())
                total += count;
        else
            total = UsbStatusReads(dir / "zorvadev.counts");
        return total;
    };
    if (faulty)
        faultThread = std::thread(FaultLoop, monitor, port1, metricsPort, std::cref(polled), std::cref(stop),
                                  std::ref(faults));

    std::vector<Sample> samples;
    const auto end = start + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
    auto next = start;
    while (Steady::now() < end) {
        if (waitpid(monitor, nullptr, WNOHANG) == monitor)
            Die("the monitor ended during the soak");
        samples.push_back(Measure(monitor, start));
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
    }
    samples.push_back(Measure(monitor, start));
    stop = true;
    clientThread.join();
    hostileThread.join();
    scraperThread.join();
    if (floodThread.joinable())
        floodThread.join();
    if (faultThread.joinable())
        faultThread.join();

    std::map<std::string, int> polls;
    if (simulator)
        polls = simulator->Requests();
    else
        polls["usb"] = UsbStatusReads(dir / "zorvadev.counts");
    StopChild(monitor);
    simulator.reset();
    Report(samples, client, hostile, flooded ? &flood : nullptr, scrapes, polls, seconds);
    if (faulty)
        ReportFaults(faults, dir / "monitor.err");
    fs::remove_all(dir);
    return 0;
}
