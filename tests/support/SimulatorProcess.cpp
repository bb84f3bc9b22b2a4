#include "support/SimulatorProcess.h"

#include "support/ProgramRun.h"

#include <QElapsedTimer>
#include <csignal>

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args)
{
    // A test that writes to a simulator that has ended gets EPIPE, not death.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    process_.setChildProcessModifier(DieWithParent);
    process_.start(QString::fromLatin1(Q62M_PRINTER_SIM), arguments);
    ready_ = process_.waitForStarted(5000) && WaitForLine("ready", 5000).has_value();
}

SimulatorProcess::~SimulatorProcess()
{
    process_.kill();
    process_.waitForFinished(5000);
}

std::optional<std::string> SimulatorProcess::Endpoint(const std::string& printer, const std::string& kind) const
{
    const std::string prefix = printer + " " + kind + " ";
    for (const std::string& line : lines_) {
        if (line == "ready")
            break;
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    }
    return std::nullopt;
}

uint16_t SimulatorProcess::TcpPort(const std::string& printer) const
{
    const std::optional<std::string> address = Endpoint(printer, "tcp");
    return address ? static_cast<uint16_t>(std::stoi(address->substr(address->rfind(':') + 1))) : 0;
}

std::string SimulatorProcess::PtyPath(const std::string& printer) const
{
    return Endpoint(printer, "pty").value_or("");
}

void SimulatorProcess::Type(const std::string& line)
{
    process_.write(QByteArray::fromStdString(line + "\n"));
    process_.waitForBytesWritten(1000);
}

std::string SimulatorProcess::Command(const std::string& line, const std::string& printer)
{
    Type(line);
    return WaitForLine(printer + " answers ").value_or("");
}

std::optional<std::string> SimulatorProcess::WaitForLine(const std::string& text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        while (process_.canReadLine())
            lines_.push_back(process_.readLine().chopped(1).toStdString());
        for (; cursor_ < lines_.size(); ++cursor_) {
            if (lines_[cursor_].find(text) != std::string::npos)
                return lines_[cursor_++];
        }
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || !process_.waitForReadyRead(static_cast<int>(left)))
            return std::nullopt;
    }
}

std::string SimulatorProcess::Errors(const std::string& text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        errors_ += process_.readAllStandardError().toStdString();
        if (errors_.find(text) != std::string::npos || timer.elapsed() >= timeoutMs
            || process_.state() == QProcess::NotRunning)
            return errors_;
        process_.waitForFinished(20);
    }
}

void SimulatorProcess::Signal(int signal)
{
    if (process_.state() != QProcess::NotRunning)
        kill(static_cast<pid_t>(process_.processId()), signal);
}

int SimulatorProcess::WaitForExit(int timeoutMs)
{
    if (!process_.waitForFinished(timeoutMs) && process_.state() != QProcess::NotRunning)
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}
