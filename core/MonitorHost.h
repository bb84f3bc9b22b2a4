#pragma once

#include "tray/TrayMainWindow.h"

#include <cstdint>
#include <functional>

// What the monitor loop needs of the window it runs for, handed to it as
// functions: how many printers it polls, how long it pauses between passes
// (seconds, 1 to 3600), whether a quit has been asked for, the tray picture
// to show, whether the user can see the window, the alarm that brings a
// fault to the user's eyes without taking the keyboard, and the count of
// fault episodes. The main window fills one (frmMain::LoopHost); the loop
// knows the window only through it.
struct MonitorHost {
    std::function<int16_t()> Printers;
    std::function<int16_t()> PauseSeconds;
    std::function<bool()> QuitAsked;
    std::function<void(TrayPicture)> ShowPicture;
    std::function<bool()> SeenByUser;
    std::function<void()> RaiseAlarm;
    std::function<void()> CountEpisode;
};
