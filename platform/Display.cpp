#include "platform/Display.h"

#include <QGuiApplication>
#include <cstdlib>

namespace {
bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
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

bool IsOffscreenPlatform()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}
