#include "platform/StandardError.h"

#include "platform/Clock.h"
#include "platform/ProgramInfo.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr double kRepeatSeconds = 60.0;
// Messages remembered for their repeats; the one written longest ago goes
// first, so memory stays bounded whatever varies in the messages.
constexpr size_t kRemembered = 64;

struct Written {
    double at = 0;
    uint64_t repeats = 0;
};

std::mutex& WrittenLock()
{
    static std::mutex lock;
    return lock;
}

std::map<std::string, Written>& WrittenMessages()
{
    static auto* written = new std::map<std::string, Written>;
    return *written;
}

// The line to write for `message` now, or empty text while it repeats
// within its minute.
std::string LineFor(const std::string& message, double now)
{
    std::lock_guard<std::mutex> guard(WrittenLock());
    auto& written = WrittenMessages();
    auto found = written.find(message);
    // A clock that went back (a test's own) starts the minute anew.
    if (found != written.end() && now >= found->second.at && now - found->second.at < kRepeatSeconds) {
        ++found->second.repeats;
        return {};
    }
    const uint64_t repeats = found != written.end() ? found->second.repeats : 0;
    written[message] = Written{now, 0};
    if (written.size() > kRemembered)
        written.erase(std::min_element(written.begin(), written.end(), [](const auto& a, const auto& b) {
            return a.second.at < b.second.at;
        }));
    std::string line = std::string(kProgramTitle) + ": " + message;
    if (repeats > 0)
        line += " (" + std::to_string(repeats) + " more times since it was last written)";
    return line + "\n";
}

}  // namespace

void ReportLine(const std::string& message)
{
    const std::string line = LineFor(message, CurrentClock().Now());
    if (line.empty())
        return;
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
