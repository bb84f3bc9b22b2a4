#include "platform/Display.h"

#include "platform/StandardError.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

QtMessageHandler routedMessages = nullptr;
bool displayLossWatched = false;

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

std::string Described(const char* name)
{
    return std::string(name) + (IsSet(name) ? "=" + std::string(std::getenv(name)) : " not set");
}

// Qt's own message still goes out first: it names the plugins it tried.
void EndStartOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    routedMessages(type, context, message);
    if (type != QtFatalMsg)
        return;
    ReportLine("no display to start on (" + Described("WAYLAND_DISPLAY") + ", " + Described("DISPLAY") + ", "
               + Described("QT_QPA_PLATFORM") + "): the display cannot be reached or Qt's platform plugin for it "
               "is missing (for Wayland, the package qt6-wayland); with neither display set the monitor runs "
               "headless");
    std::fflush(nullptr);
    std::_Exit(kNoDisplayExitStatus);
}

void EndWithDisplayLossStatus()
{
    if (!displayLossWatched)
        return;
    ReportLine("the connection to the display is lost; ending with status "
               + std::to_string(kDisplayLostExitStatus));
    std::fflush(nullptr);
    std::_Exit(kDisplayLostExitStatus);
}

// Qt's wayland plugin ends the process with _exit(1) right after this
// warning, so no exit handler runs: the warning is the last word the
// program gets. The xcb plugin says the same of X11 before its exit(1).
void EndOnDisplayLossMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    routedMessages(type, context, message);
    if (message.contains(QLatin1String("connection broke")))
        EndWithDisplayLossStatus();
}

}  // namespace

void SelectPlatformForDisplay()
{
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's own event dispatcher instead of GLib's: every socket notification
    // and every wait goes through it, and it answers a status client about a
    // fifth sooner. A user who sets the variable keeps their choice.
    setenv("QT_NO_GLIB", "1", 0);
}

std::unique_ptr<QApplication> OpenApplication(int& argc, char** argv)
{
    routedMessages = qInstallMessageHandler(EndStartOnFatalMessage);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(routedMessages);
    std::atexit(EndWithDisplayLossStatus);
    return app;
}

void WatchForDisplayLoss(bool on)
{
    if (on && !displayLossWatched)
        routedMessages = qInstallMessageHandler(EndOnDisplayLossMessage);
    else if (!on && displayLossWatched)
        qInstallMessageHandler(routedMessages);
    displayLossWatched = on;
}

bool ShowingTakesKeyboard()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool IsOffscreenPlatform()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}
