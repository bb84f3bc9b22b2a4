#include "core/MonitorLoop.h"

#include "core/frmMain.h"
#include "platform/Beep.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "printer/PollPrinter.h"

namespace {
constexpr int kWaitSliceMs = 400;
}  // namespace

MonitorLoop::MonitorLoop(frmMain& form, PollFunction poll)
    : form_(form), poll_(poll ? std::move(poll) : PollFunction(PollPrinter))
{
}

void MonitorLoop::Run()
{
    // 1. The loop starts quiet.
    faultAlarmRaised_ = false;
    for (;;) {
        // 2. and 3. One pass over every printer.
        bool anyFault = false;
        if (!PollAll(anyFault))
            return;
        // 4. and 5. Tray picture and alarm.
        ShowPassResult(anyFault);
        // 6. A quit asked for during the pass ends the loop here.
        if (form_.QuitRequested)
            return;
        // 7. The pause before the next pass.
        Wait();
    }
}

// Polls every printer, also after an earlier one faulted. False when a
// quit was found before a poll.
bool MonitorLoop::PollAll(bool& anyFault)
{
    for (int16_t i = 0; i < form_.PrinterCount; ++i) {
        if (form_.QuitRequested)
            return false;
        if (poll_(form_, i))
            anyFault = true;
    }
    return true;
}

void MonitorLoop::ShowPassResult(bool anyFault)
{
    if (anyFault) {
        form_.ShowTrayPicture(TrayPicture::Fault);
        if (!faultAlarmRaised_) {
            SystemBeep();
            if (!form_.isVisible())
                form_.show();
        }
        faultAlarmRaised_ = true;
    } else {
        faultAlarmRaised_ = false;
        form_.ShowTrayPicture(TrayPicture::Normal);
    }
}

// Lasts at least UpdateInterval seconds; the elapsed time is tested before
// each slice, and events are handled between slices. A quit asked for
// meanwhile takes effect when the wait ends.
void MonitorLoop::Wait()
{
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    for (;;) {
        const float elapsed = static_cast<float>(clock.Now() - start);
        if (elapsed >= form_.UpdateInterval)
            return;
        DoEvents();
        clock.Sleep(kWaitSliceMs);
    }
}
