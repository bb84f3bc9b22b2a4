#pragma once

#include "platform/SerialLine.h"

#include <cstdint>
#include <vector>

// Put in front of a serial port's own line settings: records the framing
// asked of the port and keeps it from the device, which (a pseudo-terminal)
// could not hold it; hands speed and stop bits on to the device, so they
// can be read back from it; refuses the speed a test names.
class RecordingSerialLine final : public SerialLine {
public:
    explicit RecordingSerialLine(SerialLine& device) : device_(device) {}

    bool SetSpeed(uint32_t baud) override
    {
        speeds.push_back(baud);
        return baud != refusedSpeed && device_.SetSpeed(baud);
    }
    bool ReadSpeed(uint32_t& baud) override { return device_.ReadSpeed(baud); }
    bool SetParity(char asked) override
    {
        parity = asked;
        return true;
    }
    bool SetDataBits(int bits) override
    {
        dataBits = bits;
        return true;
    }
    bool SetStopBits(int bits) override { return device_.SetStopBits(bits); }

    std::vector<uint32_t> speeds;
    char parity = 0;
    int dataBits = 0;

    uint32_t refusedSpeed = 0;

private:
    SerialLine& device_;
};
