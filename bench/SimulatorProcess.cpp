#include "SimulatorProcess.h"

#include <QElapsedTimer>
#include <csignal>
#include <sys/prctl.h>

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args)
{
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(QString::fromLatin1(Q62M_PRINTER_SIM), arguments);
    ready_ = process_.waitForStarted(5000) && WaitForReady(5000);
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
        if (line.rfind(prefix, 0) == 0)
            return static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    return 0;
}

bool SimulatorProcess::WaitForReady(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        while (process_.canReadLine()) {
            lines_.push_back(process_.readLine().chopped(1).toStdString());
            if (lines_.back() == "ready")
                return true;
        }
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || !process_.waitForReadyRead(static_cast<int>(left)))
            return false;
    }
}
