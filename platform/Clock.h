#pragma once

// The time source of every wait in the monitor: a monotonic reading in
// seconds and the wait's "sleep", which returns early when an event arrives.
// The process holds one current clock; tests install a fake one to run
// time-outs without waiting for them.
class Clock {
public:
    virtual ~Clock() = default;

    // Seconds on a monotonic scale; only differences mean anything.
    virtual double Now() = 0;

    // Blocks until the next event arrives or `ms` milliseconds pass,
    // whichever is first, and handles what arrived.
    virtual void Sleep(int ms) = 0;
};

// The clock the waits use. Never null: the steady clock unless a test has
// installed another one.
Clock& CurrentClock();

// Installs `clock` as the current clock; null restores the steady clock.
// The caller keeps ownership.
void SetCurrentClock(Clock* clock);
