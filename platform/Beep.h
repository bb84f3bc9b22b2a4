#pragma once

#include <functional>

// The system beep of the fault alarm: the X server's bell on X11, the sound
// theme's "bell" event through libcanberra on Wayland, where Qt has none.
void SystemBeep();

// Replaces the beep with `hook` (tests count beeps with it); an empty
// function restores the real beep.
void SetBeepHook(std::function<void()> hook);
