#pragma once

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Starts a benchmark's child: the program and arguments in `args`, its
// standard output and error on the descriptors given (-1 keeps the
// benchmark's). The child is killed when the benchmark ends, also when it
// crashes. -1 when it cannot start.
pid_t SpawnChild(const std::vector<std::string>& args, int stdoutFd, int stderrFd = -1);

// Asks a child to end with SIGTERM, gives it five seconds, then kills it.
void StopChild(pid_t pid);

// Runs the real q62m-printer-sim for a benchmark with the arguments given
// (it reads no commands).
// Its standard output is read up to "ready", where the constructor returns
// (at most five seconds); after that a thread of its own goes on reading it
// and counts the requests each printer received (the simulator's " <- "
// lines). The simulator ends with the object.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool Ready() const { return ready_; }
    // The loopback port of a printer given --tcp 0; 0 when there is none.
    uint16_t TcpPort(const std::string& printer = "printer1") const;
    std::map<std::string, int> Requests();

private:
    bool ReadUntilReady();
    void CountRequests();

    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
    bool ready_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::map<std::string, int> requests_;
};
