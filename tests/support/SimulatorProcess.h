#pragma once

#include <QProcess>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Runs the real q62m-printer-sim for a unit test or a benchmark. Its
// standard input takes the commands the test types; its standard output is
// read line by line, each line found at most once, in order. The
// constructor returns once the simulator said "ready"; the simulator is
// killed with the object, and with the test program, also when it crashes.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool Ready() const { return ready_; }
    uint16_t TcpPort(const std::string& printer = "printer1") const;

    // Types a command and returns the state line it makes the printer print
    // ("printer1 answers 01 00 00 F0 (normal, listening)"), or "" when none
    // comes.
    std::string Command(const std::string& line, const std::string& printer = "printer1");

    // The next output line that contains `text`, skipping lines before it;
    // empty when none comes within `timeoutMs`.
    std::optional<std::string> WaitForLine(const std::string& text, int timeoutMs = 3000);

private:
    QProcess process_;
    std::vector<std::string> lines_;
    size_t cursor_ = 0;
    bool ready_ = false;
};
