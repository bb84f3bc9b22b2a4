#pragma once

#include <cstdint>
#include <functional>

class frmMain;

// The monitor's heartbeat, started once by the main window's activation:
// polls every printer in turn, folds their answers into one fault state,
// shows it in the tray picture, raises the alarm (one beep, the main window
// brought into view) when a fault begins, and waits UpdateInterval seconds
// before the next pass. Runs on the user-interface thread; events are
// handled inside its waits and inside the polls' waits. Returns when it
// finds QuitRequested set, before a poll or after a pass.
class MonitorLoop {
public:
    // Polls one printer; true when it reported a fault.
    using PollFunction = std::function<bool(frmMain&, int16_t)>;

    // `poll` is the printer poll unless a test gives another.
    explicit MonitorLoop(frmMain& form, PollFunction poll = {});

    void Run();

    // The alarm of the current fault episode has been given.
    bool FaultAlarmRaised() const { return faultAlarmRaised_; }

private:
    bool PollAll(bool& anyFault);
    void ShowPassResult(bool anyFault);
    void Wait();

    frmMain& form_;
    PollFunction poll_;
    bool faultAlarmRaised_ = false;
};
