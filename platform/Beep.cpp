#include "platform/Beep.h"

#include "platform/SoundEvents.h"

#include <QApplication>

namespace {

std::function<void()>& Hook()
{
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void SystemBeep()
{
    if (Hook()) {
        Hook()();
        return;
    }
    // Qt's Wayland platform has no bell of its own; X11 keeps the server's.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        static SoundEvents sounds;
        sounds.PlayBell();
        return;
    }
    QApplication::beep();
}

void SetBeepHook(std::function<void()> hook)
{
    Hook() = std::move(hook);
}
