#pragma once

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <memory>
#include <string>
#include <vector>

class TempDir;

// Makes the calling child process die with its parent; for the moment
// between fork and exec.
inline void DieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// What each open descriptor of process `pid` refers to ("socket:[123]",
// "/dev/pts/4", ...).
std::vector<std::string> DescriptorTargets(int64_t pid);

// Runs the real monitor executable for a test. The executable is copied
// into the test's directory, so that it reads its configuration file from
// there (which also keeps it apart from every other monitor on the
// machine, as one monitor runs per configuration file), and runs headless
// with that directory as its runtime directory. The monitor is killed when
// the test program ends, also when it crashes.
class ProgramRun {
public:
    // Copies the executable into `dir` under `name` and prepares a run.
    explicit ProgramRun(const TempDir& dir, const std::string& name = "StatusMonitorQ62m");
    ~ProgramRun();

    // Adds or replaces a variable of the program's environment.
    void SetEnv(const std::string& name, const std::string& value);

    // Runs the program on the X display `display` (":N") instead of
    // headless.
    void UseDisplay(const std::string& display);

    // Runs the program as `user` (with setpriv), who must be able to reach
    // the test's directory.
    void RunAs(const std::string& user);

    void Start();
    // True when the program ended within `ms`.
    bool WaitForExit(int ms);
    // Exit code after a normal end; -1 after a crash or while running.
    int ExitCode() const;
    bool Running() const;
    std::string StandardError();
    std::string StandardOutput();
    void Terminate();
    qint64 Pid() const;

    const std::string& ExecutablePath() const { return executable_; }

private:
    std::string executable_;
    std::string runtimeDir_;
    std::unique_ptr<QProcess> process_;
};
