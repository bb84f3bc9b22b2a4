#pragma once

#include <memory>

class QApplication;

// The exit statuses of a display the monitor cannot use. Neither is 1, the
// start-up error whose box the user has already seen: the user unit starts
// the monitor again after a lost display, not after one it never reached.
constexpr int kNoDisplayExitStatus = 2;
constexpr int kDisplayLostExitStatus = 3;

// The headless fallback: with no display (neither DISPLAY nor
// WAYLAND_DISPLAY set) and no platform chosen through QT_QPA_PLATFORM, the
// monitor runs on Qt's offscreen platform. Also chooses Qt's own event
// dispatcher. Must be called before the application object is made.
void SelectPlatformForDisplay();

// Makes the application object. A display that cannot be reached, or a Qt
// platform plugin that cannot be loaded, ends the program here with one line
// that says so and kNoDisplayExitStatus, where Qt would abort.
std::unique_ptr<QApplication> OpenApplication(int& argc, char** argv);

// While on, a display connection that breaks ends the program with
// kDisplayLostExitStatus, where Qt's xcb and wayland plugins would end it
// with 1; so does any other exit the program did not ask for. The entry
// turns it on around its event loop.
void WatchForDisplayLoss(bool on);

// True where mapping a window gives it the keyboard whatever the program
// asks: a Wayland compositor focuses each new toplevel, and no protocol
// that Qt speaks lets a program decline. Needs the application object.
bool ShowingTakesKeyboard();

// True when the application runs on the offscreen platform: headless, or
// under test. Needs the application object.
bool IsOffscreenPlatform();
