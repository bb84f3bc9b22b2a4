#pragma once

#include "platform/Clock.h"

#include <functional>

// A clock for time-out tests: time moves only when a wait sleeps, by exactly
// the time slept. Installed as the current clock while it lives. A test can
// act at every sleep (set a flag, hide a window) through OnSleep.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double start = 1000.0) : now_(start) { SetCurrentClock(this); }
    ~FakeClock() override { SetCurrentClock(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    double Now() override { return now_; }
    void Sleep(int ms) override
    {
        now_ += ms / 1000.0;
        ++sleeps_;
        if (OnSleep)
            OnSleep();
    }

    void Advance(double seconds) { now_ += seconds; }
    void SetNow(double now) { now_ = now; }
    int Sleeps() const { return sleeps_; }

    std::function<void()> OnSleep;

private:
    double now_;
    int sleeps_ = 0;
};
