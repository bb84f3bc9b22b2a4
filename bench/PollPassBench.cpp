// The time of one pass over 1 and over 10 answering network printers: every
// printer polled in turn (connect, request, answer, close), as the monitor
// loop does, against printer simulators on loopback.
//
//   PollPassBench [passes]      (default 50)
#include "core/frmMain.h"
#include "printer/PollPrinter.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

struct PassTimes {
    double median = 0;
    double p99 = 0;
    int answered = 0;
    int polls = 0;
};

PassTimes Measure(int printers, int passes, const std::filesystem::path& dir)
{
    std::vector<std::string> args{"--quiet"};
    for (int i = 1; i <= printers; ++i) {
        args.insert(args.end(), {"--printer", "p" + std::to_string(i), "--tcp", "0"});
    }
    SimulatorProcess simulator(args);
    if (!simulator.Ready()) {
        std::fprintf(stderr, "PollPassBench: the simulator did not start\n");
        std::exit(1);
    }
    const auto ini = dir / ("bench" + std::to_string(printers) + ".ini");
    {
        std::ofstream out(ini);
        out << "[General]\nPrinters=" << printers << "\n";
        for (int i = 1; i <= printers; ++i)
            out << "[Printer" << i << "]\nPort=0\nIP=127.0.0.1\nSocket="
                << simulator.TcpPort("p" + std::to_string(i)) << "\n";
    }
    frmMain form(ini.string());
    if (!form.Form_Load()) {
        std::fprintf(stderr, "PollPassBench: the configuration did not load\n");
        std::exit(1);
    }
    std::vector<double> times;
    PassTimes result;
    for (int pass = 0; pass < passes; ++pass) {
        for (auto& entry : form.PrinterTable)
            entry.StatusBytes.clear();
        const auto start = Steady::now();
        for (int16_t i = 0; i < form.PrinterCount; ++i)
            PollPrinter(form, i);
        times.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
        for (const auto& entry : form.PrinterTable)
            result.answered += entry.StatusBytes.size() == 4 ? 1 : 0;
        result.polls += form.PrinterCount;
    }
    std::sort(times.begin(), times.end());
    result.median = times[times.size() / 2];
    result.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int passes = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;
    char pattern[] = "/tmp/q62m-passbench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::filesystem::path dir(pattern);
    for (int printers : {1, 10}) {
        const PassTimes t = Measure(printers, passes, dir);
        std::printf("pass over %2d answering network printer(s): median %7.2f ms   p99 %7.2f ms   answered %d of %d polls\n",
                    printers, t.median, t.p99, t.answered, t.polls);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
