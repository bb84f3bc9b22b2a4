#pragma once

#include <cstdint>
#include <string>

class MSComm;

// The line speed of the open serial port, read and written in the port's
// own settings (its "control block") rather than through the control's
// Settings text, which only ever carries a provisional speed. SetCom calls
// them on MSComm1.

// Reads the port's settings, puts `baud` into them and writes them back.
// Returns empty text on success, else the name of the failure:
// "comPortNotOpen", "comDCBError" (the settings cannot be read) or
// "comSetCommStateFailed" (the device refuses them).
std::string SetCommBaudRate(MSComm& port, int32_t& baud);

// The line speed the open port holds, or 0 when it is closed or its
// settings cannot be read.
int32_t GetCommBaudRate(MSComm& port);
