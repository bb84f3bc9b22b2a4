#pragma once

#include <functional>

// The system beep of the fault alarm.
void SystemBeep();

// Replaces the beep with `hook` (tests count beeps with it); an empty
// function restores the real beep.
void SetBeepHook(std::function<void()> hook);
