#pragma once

#include <QProcess>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Runs the real q62m-printer-sim for a test. Its standard input takes the
// commands the test types; its standard output is read line by line, each
// line found at most once, in order; its standard error is kept. The
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
    std::string PtyPath(const std::string& printer = "printer1") const;

    void Type(const std::string& line);
    void CloseStdin() { process_.closeWriteChannel(); }

    // Types a command and returns the state line it makes the printer print
    // ("printer1 answers 01 00 00 F0 (normal, listening)"), or "" when none
    // comes.
    std::string Command(const std::string& line, const std::string& printer = "printer1");

    // The next output line that contains `text`, skipping lines before it;
    // empty when none comes within `timeoutMs`.
    std::optional<std::string> WaitForLine(const std::string& text, int timeoutMs = 3000);
    // Everything written to standard error so far, waiting up to
    // `timeoutMs` for `text` to show up in it.
    std::string Errors(const std::string& text = "", int timeoutMs = 0);

    void Signal(int signal);
    // The exit code once the process has ended within `timeoutMs`; -1 when
    // it still runs or ended by a signal.
    int WaitForExit(int timeoutMs);

private:
    std::optional<std::string> Endpoint(const std::string& printer, const std::string& kind) const;

    QProcess process_;
    std::vector<std::string> lines_;
    size_t cursor_ = 0;
    std::string errors_;
    bool ready_ = false;
};
