// A serial poll of a printer that answers at once, over a pseudo-terminal:
// PollPrinter end to end (open the port, set it up, send the request,
// gather the answer, close) beside the bare round trip of the same request
// and answer on the same pseudo-terminal, with the same answering thread,
// in the same run. A pseudo-terminal moves bytes without a line speed, so
// the time those seven bytes would need on a real line at the configured
// speed is printed beside them. Opening the port includes the lock file
// that Qt's serial port writes and syncs in the lock directory, so the open
// costs what one small synced write costs on that file system.
#include "runtime/PrinterProtocol.h"
#include "core/frmMain.h"
#include "printer/PollPrinter.h"
#include "printer/SerialTransport.h"

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <numeric>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kRequest(PrinterProtocol::kStatusRequest);
const std::string kAnswer(PrinterProtocol::kAllWell);
constexpr int kLineSpeed = 115200;
// Start bit, eight data bits, stop bit.
constexpr int kBitsPerByte = 10;

[[noreturn]] void Die(const char* what)
{
    std::fprintf(stderr, "SerialPollBench: %s\n", what);
    std::exit(1);
}

// The printer: answers every whole request on the master side as soon as it
// has arrived.
class AnsweringPrinter {
public:
    explicit AnsweringPrinter(int master) : master_(master), thread_([this] { Run(); }) {}
    ~AnsweringPrinter()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run()
    {
        std::string pending;
        char buffer[256];
        while (!stop_) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0)
                continue;
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            pending.append(buffer, static_cast<size_t>(n));
            size_t found;
            while ((found = pending.find(kRequest)) != std::string::npos) {
                pending.erase(0, found + kRequest.size());
                if (write(master_, kAnswer.data(), kAnswer.size()) != static_cast<ssize_t>(kAnswer.size()))
                    Die("the printer could not answer");
            }
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Microseconds per run of `step`, as the median and the mean of `times`
// runs: the median shows the usual cost, the mean what the odd slow run
// (a busy machine) adds.
struct Timing {
    double median = 0;
    double mean = 0;
};

template <typename Step>
Timing Measure(int times, Step&& step)
{
    std::vector<double> each;
    each.reserve(static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) {
        const auto start = Clock::now();
        step();
        each.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    Timing timing;
    timing.mean = std::accumulate(each.begin(), each.end(), 0.0) / times;
    std::nth_element(each.begin(), each.begin() + times / 2, each.end());
    timing.median = each[static_cast<size_t>(times / 2)];
    return timing;
}

// The request written to the device and the answer read back, blocking.
void BareRoundTrip(int slave)
{
    if (write(slave, kRequest.data(), kRequest.size()) != static_cast<ssize_t>(kRequest.size()))
        Die("write to the device failed");
    std::string answer;
    char buffer[16];
    while (answer.size() < kAnswer.size()) {
        const ssize_t n = read(slave, buffer, sizeof buffer);
        if (n <= 0)
            Die("read from the device failed");
        answer.append(buffer, static_cast<size_t>(n));
    }
    if (answer != kAnswer)
        Die("the bare round trip got a wrong answer");
}

// The port opened, set up and closed again, with nothing exchanged.
void OpenAndClose(frmMain& form)
{
    SetCom(form, 0);
    if (!form.LinkOpen)
        Die("the port did not open");
    ClosePort(form);
}

void Poll(frmMain& form)
{
    form.PrinterTable[0].StatusBytes.clear();
    PollPrinter(form, 0);
    if (form.PrinterTable[0].StatusBytes != kAnswer)
        Die("a poll got no status");
}

void Print(const char* what, int times, const Timing& timing)
{
    std::printf("%-40s %6d times: median %8.1f us, mean %8.1f us\n", what, times, timing.median, timing.mean);
}

std::string WriteConfiguration(const std::string& device)
{
    char pattern[] = "/tmp/q62m-serialbench-XXXXXX";
    if (!mkdtemp(pattern))
        Die("mkdtemp failed");
    const std::string path = std::string(pattern) + "/bench.ini";
    std::ofstream(path) << "[General]\nPrinters=1\n[Printer1]\nPort=1\nDevice=" << device
                        << "\nBaudRate=" << kLineSpeed << "\n";
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int polls = argc > 1 ? std::atoi(argv[1]) : 500;
    if (polls <= 0)
        Die("the number of polls must be positive");

    int master = -1;
    int slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        Die("openpty failed");
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    const std::string ini = WriteConfiguration(name);
    frmMain form(ini);
    if (!form.Form_Load())
        Die("the configuration did not load");

    Timing bare;
    Timing openClose;
    Timing poll;
    {
        AnsweringPrinter printer(master);
        Measure(polls / 10 + 1, [&] { BareRoundTrip(slave); });
        Measure(polls / 10 + 1, [&] { Poll(form); });
        bare = Measure(polls * 10, [&] { BareRoundTrip(slave); });
        openClose = Measure(polls, [&] { OpenAndClose(form); });
        poll = Measure(polls, [&] { Poll(form); });
    }
    const double line = 1e6 * static_cast<double>(kRequest.size() + kAnswer.size()) * kBitsPerByte / kLineSpeed;

    std::printf("serial poll of a printer answering at once, pseudo-terminal %s\n", name);
    Print("bare byte round trip (3 out, 4 back)", polls * 10, bare);
    Print("port opened, set up and closed", polls, openClose);
    Print("PollPrinter end to end", polls, poll);
    std::printf("poll beyond open and close (medians):      %8.1f us\n", poll.median - openClose.median);
    std::printf("poll beyond the bare round trip (medians): %8.1f us\n", poll.median - bare.median);
    std::printf("the 7 bytes on a %d baud line would take:  %8.1f us\n", kLineSpeed, line);
    std::remove(ini.c_str());
    rmdir(ini.substr(0, ini.rfind('/')).c_str());
    close(slave);
    close(master);
    return 0;
}
