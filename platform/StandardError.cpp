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

namespace {

// Qt's message with the program's prefix on each of its lines after the
// first (ReportLine gives the first one its own), so that a journal filtered
// on the prefix keeps the whole message.
std::string ContinuedLines(const QString& message)
{
    const QString continuation = QStringLiteral("\n") + QLatin1String(kProgramTitle) + QStringLiteral(": ");
    QString text = message;
    while (text.endsWith(u'\n'))
        text.chop(1);
    return text.replace(u'\n', continuation).toStdString();
}

}  // namespace

void RouteQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        ReportLine(ContinuedLines(message));
    });
}
