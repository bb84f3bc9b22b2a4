#include "platform/Clock.h"

#include "platform/EventPump.h"

#include <chrono>

namespace {

class SteadyClock final : public Clock {
public:
    double Now() override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }

    void Sleep(int ms) override { WaitForEvents(ms); }
};

SteadyClock steadyClock;
Clock* current = &steadyClock;

}  // namespace

Clock& CurrentClock()
{
    return *current;
}

void SetCurrentClock(Clock* clock)
{
    current = clock ? clock : &steadyClock;
}
