#pragma once

#include <cstdint>

// The line settings of an open serial port: speed and framing. MSComm
// applies every setting through this interface, to its device unless
// something has been put in front of it. A pseudo-terminal cannot hold
// parity or seven data bits, and no real port can be told to refuse a
// speed on demand, so tests stand in here for the settings the device
// cannot show and hand the rest on.
//
// Each call returns false when the device refuses the setting.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual bool SetSpeed(uint32_t baud) = 0;
    // The speed the device holds now, read back from it.
    virtual bool ReadSpeed(uint32_t& baud) = 0;
    // 'n' none, 'e' even, 'o' odd, 'm' mark, 's' space.
    virtual bool SetParity(char parity) = 0;
    virtual bool SetDataBits(int bits) = 0;
    virtual bool SetStopBits(int bits) = 0;
};
