#include "support/SimulatorProcess.h"

#include "support/ProgramRun.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> argv_strings{Q62M_PRINTER_SIM};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_strings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Only calls that are safe between fork and exec.
        DieWithParent();
        if (getppid() != parent)
            _exit(127);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(Q62M_PRINTER_SIM, argv.data());
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
    fcntl(stdout_, F_SETFL, O_NONBLOCK);
    fcntl(stderr_, F_SETFL, O_NONBLOCK);
    // A test that writes to a simulator that has ended gets EPIPE, not death.
    std::signal(SIGPIPE, SIG_IGN);
    ready_ = pid_ > 0 && WaitForLine("ready", 5000).has_value();
    startLines_.assign(lines_.begin(), lines_.begin() + static_cast<long>(cursor_));
}

SimulatorProcess::~SimulatorProcess()
{
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {stdin_, stdout_, stderr_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

std::optional<std::string> SimulatorProcess::Endpoint(const std::string& printer,
                                                      const std::string& kind) const
{
    const std::string prefix = printer + " " + kind + " ";
    for (const std::string& line : startLines_) {
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    }
    return std::nullopt;
}

uint16_t SimulatorProcess::TcpPort(const std::string& printer) const
{
    std::optional<std::string> address = Endpoint(printer, "tcp");
    if (!address)
        return 0;
    return static_cast<uint16_t>(std::stoi(address->substr(address->rfind(':') + 1)));
}

std::string SimulatorProcess::PtyPath(const std::string& printer) const
{
    return Endpoint(printer, "pty").value_or("");
}

void SimulatorProcess::Type(const std::string& line)
{
    const std::string text = line + "\n";
    [[maybe_unused]] ssize_t written = ::write(stdin_, text.data(), text.size());
}

void SimulatorProcess::CloseStdin()
{
    ::close(stdin_);
    stdin_ = -1;
}

std::string SimulatorProcess::Command(const std::string& line, const std::string& printer)
{
    Type(line);
    return WaitForLine(printer + " answers ").value_or("");
}

std::optional<std::string> SimulatorProcess::WaitForLine(const std::string& text, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (; cursor_ < lines_.size(); ++cursor_) {
            if (lines_[cursor_].find(text) != std::string::npos)
                return lines_[cursor_++];
        }
        int left = RemainingMs(deadline);
        if (left == 0 || outEnded_)
            return std::nullopt;
        Pump(left);
    }
}

std::string SimulatorProcess::Errors(const std::string& text, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Pump(0);
    while (errors_.find(text) == std::string::npos && !errEnded_ && RemainingMs(deadline) > 0)
        Pump(RemainingMs(deadline));
    return errors_;
}

void SimulatorProcess::Pump(int timeoutMs)
{
    // A pipe at end of file is left out (fd -1), so waits on an ended
    // simulator sleep out their time instead of spinning.
    pollfd fds[2] = {{outEnded_ ? -1 : stdout_, POLLIN, 0}, {errEnded_ ? -1 : stderr_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return;
    char buffer[4096];
    ssize_t count;
    while (!outEnded_ && (count = ::read(stdout_, buffer, sizeof buffer)) >= 0) {
        outEnded_ = count == 0;
        partial_.append(buffer, static_cast<size_t>(count));
        for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
    }
    while (!errEnded_ && (count = ::read(stderr_, buffer, sizeof buffer)) >= 0) {
        errEnded_ = count == 0;
        errors_.append(buffer, static_cast<size_t>(count));
    }
}

void SimulatorProcess::Signal(int signal)
{
    if (pid_ > 0)
        kill(pid_, signal);
}

int SimulatorProcess::WaitForExit(int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else if (RemainingMs(deadline) == 0) {
            return -1;
        } else {
            usleep(10000);
        }
    }
    return exitCode_;
}
