#include "printer/W32Comms.h"

#include "platform/MSComm.h"

std::string SetCommBaudRate(MSComm& port, int32_t& baud)
{
    if (!port.PortOpen())
        return "comPortNotOpen";
    uint32_t current = 0;
    if (!port.ReadLineSpeed(current))
        return "comDCBError";
    // A negative speed keeps its bit pattern, as the settings hold the speed
    // unsigned; no device accepts it.
    if (!port.WriteLineSpeed(static_cast<uint32_t>(baud)))
        return "comSetCommStateFailed";
    return {};
}

int32_t GetCommBaudRate(MSComm& port)
{
    uint32_t baud = 0;
    if (!port.ReadLineSpeed(baud))
        return 0;
    return static_cast<int32_t>(baud);
}
