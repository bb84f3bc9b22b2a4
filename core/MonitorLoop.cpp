#include "core/MonitorLoop.h"

#include "platform/Beep.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

namespace {
constexpr int kWaitSliceMs = 400;
}  // namespace

MonitorLoop::MonitorLoop(MonitorHost host, PollFunction poll) : host_(std::move(host)), poll_(std::move(poll))
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
        if (host_.QuitAsked())
            return;
        Wait();
    }
}

// Polls every printer, also after an earlier one faulted. False when a
// quit was found before a poll.
bool MonitorLoop::PollAll(bool& anyFault)
{
    for (int16_t i = 0; i < host_.Printers(); ++i) {
        if (host_.QuitAsked())
            return false;
        if (poll_(i))
            anyFault = true;
    }
    return true;
}

void MonitorLoop::ShowPassResult(bool anyFault)
{
    if (anyFault) {
        host_.ShowPicture(TrayPicture::Fault);
        if (!faultAlarmRaised_) {
            SystemBeep();
            host_.CountEpisode();
            // A minimised window counts as out of view too.
            if (!host_.SeenByUser())
                host_.RaiseAlarm();
        }
        faultAlarmRaised_ = true;
    } else {
        faultAlarmRaised_ = false;
        host_.ShowPicture(TrayPicture::Normal);
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
        if (elapsed >= host_.PauseSeconds())
            return;
        DoEvents();
        clock.Sleep(kWaitSliceMs);
    }
}
