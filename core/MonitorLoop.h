#pragma once

#include "core/MonitorHost.h"

#include <cstdint>
#include <functional>

// The monitor's heartbeat, started once by the main window's activation,
// which it knows only as a MonitorHost:
// polls every printer in turn, folds their answers into one fault state,
// shows it in the tray picture, raises the alarm (one beep, the main window
// brought into view) when a fault begins, and waits UpdateInterval seconds
// before the next pass. Runs on the user-interface thread; events are
// handled inside its waits and inside the polls' waits. Returns when it
// finds QuitRequested set, before a poll or after a pass.
class MonitorLoop {
public:
    // Polls the printer with an index; true when it reported a fault.
    using PollFunction = std::function<bool(int16_t)>;

    MonitorLoop(MonitorHost host, PollFunction poll);

    void Run();

    // The alarm of the current fault episode has been given.
    bool FaultAlarmRaised() const { return faultAlarmRaised_; }

private:
    bool PollAll(bool& anyFault);
    void ShowPassResult(bool anyFault);
    void Wait();

    MonitorHost host_;
    PollFunction poll_;
    bool faultAlarmRaised_ = false;
};
