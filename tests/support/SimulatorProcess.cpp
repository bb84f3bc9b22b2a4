#include "support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <csignal>
#include <sys/prctl.h>

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args)
{
    // A test that writes to a simulator that has ended gets EPIPE, not death.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(QString::fromLatin1(Q62M_PRINTER_SIM), arguments);
    ready_ = process_.waitForStarted(5000) && WaitForLine("ready", 5000).has_value();
}

SimulatorProcess::~SimulatorProcess()
{
    process_.kill();
    process_.waitForFinished(5000);
}

uint16_t SimulatorProcess::TcpPort(const std::string& printer) const
{
    const std::string prefix = printer + " tcp ";
    for (const std::string& line : lines_) {
        if (line == "ready")
            break;
        if (line.rfind(prefix, 0) == 0)
            return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    return 0;
}

std::string SimulatorProcess::Command(const std::string& line, const std::string& printer)
{
    process_.write(QByteArray::fromStdString(line + "\n"));
    process_.waitForBytesWritten(1000);
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
