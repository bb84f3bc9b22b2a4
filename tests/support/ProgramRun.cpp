#include "support/ProgramRun.h"

#include "support/TempDir.h"

#include <filesystem>
#include <pwd.h>
#include <stdexcept>

std::vector<std::string> DescriptorTargets(int64_t pid)
{
    std::vector<std::string> targets;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        targets.push_back(std::filesystem::read_symlink(it->path(), error).string());
    return targets;
}

ProgramRun::ProgramRun(const TempDir& dir, const std::string& name)
    : executable_(dir.File(name)), runtimeDir_(dir.Path()), process_(std::make_unique<QProcess>())
{
    // A second run in the same directory uses the copy that is already there
    // (and may be running).
    if (!std::filesystem::exists(executable_))
        std::filesystem::copy_file(Q62M_EXECUTABLE, executable_);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtimeDir_));
    process_->setProcessEnvironment(env);
    process_->setProgram(QString::fromStdString(executable_));
    process_->setWorkingDirectory(QString::fromStdString(runtimeDir_));
    process_->setChildProcessModifier(DieWithParent);
}

ProgramRun::~ProgramRun()
{
    if (Running()) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void ProgramRun::SetEnv(const std::string& name, const std::string& value)
{
    QProcessEnvironment env = process_->processEnvironment();
    env.insert(QString::fromStdString(name), QString::fromStdString(value));
    process_->setProcessEnvironment(env);
}

void ProgramRun::UseDisplay(const std::string& display)
{
    QProcessEnvironment env = process_->processEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", QString::fromStdString(display));
    process_->setProcessEnvironment(env);
}

void ProgramRun::RunAs(const std::string& user)
{
    const passwd* account = getpwnam(user.c_str());
    if (!account)
        throw std::runtime_error("no user " + user);
    process_->setArguments({QStringLiteral("--reuid=%1").arg(account->pw_uid),
                            QStringLiteral("--regid=%1").arg(account->pw_gid), QStringLiteral("--clear-groups"),
                            QString::fromStdString(executable_)});
    process_->setProgram(QStringLiteral("setpriv"));
}

void ProgramRun::Start()
{
    process_->start();
    process_->waitForStarted(5000);
}

bool ProgramRun::WaitForExit(int ms)
{
    return process_->waitForFinished(ms) || process_->state() == QProcess::NotRunning;
}

int ProgramRun::ExitCode() const
{
    if (process_->state() != QProcess::NotRunning || process_->exitStatus() != QProcess::NormalExit)
        return -1;
    return process_->exitCode();
}

bool ProgramRun::Running() const
{
    return process_->state() != QProcess::NotRunning;
}

std::string ProgramRun::StandardError()
{
    return process_->readAllStandardError().toStdString();
}

std::string ProgramRun::StandardOutput()
{
    return process_->readAllStandardOutput().toStdString();
}

void ProgramRun::Terminate()
{
    process_->terminate();
}

qint64 ProgramRun::Pid() const
{
    return process_->processId();
}
