#include "SimulatorProcess.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Steady = std::chrono::steady_clock;

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& args, int stdoutFd, int stderrFd)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Only calls that are safe between fork and exec from here on.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    if (stdoutFd >= 0)
        dup2(stdoutFd, STDOUT_FILENO);
    if (stderrFd >= 0)
        dup2(stderrFd, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
}

void StopChild(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const auto deadline = Steady::now() + std::chrono::seconds(5);
    while (Steady::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> command{Q62M_PRINTER_SIM, "--no-stdin"};
    command.insert(command.end(), args.begin(), args.end());
    pid_ = SpawnChild(command, fds[1]);
    close(fds[1]);
    output_ = fds[0];
    ready_ = pid_ > 0 && ReadUntilReady();
    reader_ = std::thread([this] { CountRequests(); });
}

SimulatorProcess::~SimulatorProcess()
{
    StopChild(pid_);
    if (reader_.joinable())
        reader_.join();
    close(output_);
}

uint16_t SimulatorProcess::TcpPort(const std::string& printer) const
{
    const std::string prefix = printer + " tcp ";
    for (const std::string& line : lines_) {
        if (line.rfind(prefix, 0) == 0)
            return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    return 0;
}

std::map<std::string, int> SimulatorProcess::Requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool SimulatorProcess::ReadUntilReady()
{
    const auto deadline = Steady::now() + std::chrono::seconds(5);
    char buffer[4096];
    for (;;) {
        for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            lines_.push_back(pending_.substr(0, end));
            if (lines_.back() == "ready") {
                pending_.erase(0, end + 1);
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        pollfd readable{output_, POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) != 1)
            return false;
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

// Reads until the simulator ends and its output closes.
void SimulatorProcess::CountRequests()
{
    char buffer[4096];
    for (;;) {
        for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            const size_t arrow = pending_.find(" <- ");
            if (arrow < end) {
                std::lock_guard<std::mutex> lock(mutex_);
                ++requests_[pending_.substr(0, pending_.find(' '))];
            }
        }
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}
