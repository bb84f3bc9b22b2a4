#include "platform/StandardError.h"

#include "platform/ProgramInfo.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstring>

void ReportLine(const std::string& message)
{
    const std::string line = std::string(kProgramTitle) + ": " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void ReportFailedCall(const std::string& call, const std::string& systemText, const std::string& consequence)
{
    ReportLine(call + ": " + systemText + (consequence.empty() ? "" : "; " + consequence));
}

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

void RouteQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        ReportLine(message.toStdString());
    });
}
