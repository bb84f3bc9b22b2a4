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
}

bool IsOffscreenPlatform()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}
