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
    faultAlarmRaised_ = false;
    for (;;) {
        bool anyFault = false;
        if (!PollAll(anyFault))
            return;
        ShowPassResult(anyFault);
        // A quit asked for during the pass ends the loop before the pause.
        if (form_.QuitRequested)
            return;
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
            ++form_.Metrics.FaultEpisodes;
            // A minimised window counts as out of view too.
            if (!form_.InView())
                form_.ShowFaultAlarm();
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
