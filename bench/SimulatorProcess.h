#pragma once

#include <QProcess>
#include <cstdint>
#include <string>
#include <vector>

// Runs the real q62m-printer-sim for a benchmark. Its standard output is
// read line by line up to "ready", where the constructor returns; the
// simulator is killed with the object, and with the benchmark, also when it
// crashes.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool Ready() const { return ready_; }
    uint16_t TcpPort(const std::string& printer = "printer1") const;

private:
    // Reads output lines until one is "ready"; false when none comes within
    // `timeoutMs`.
    bool WaitForReady(int timeoutMs);

    QProcess process_;
    std::vector<std::string> lines_;
    bool ready_ = false;
};
