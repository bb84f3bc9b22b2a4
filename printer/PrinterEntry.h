#pragma once

#include <cstdint>
#include <string>

// One configured printer: how it is reached, how it is shown, and the
// status bytes it last answered. Built once by the main window's load; after
// that only StatusBytes changes.
struct PrinterEntry {
    // Transport: below 0 USB, 0 network, above 0 the serial port number.
    int16_t Port = 0;
    std::string Name;
    // Decimal local TCP port of this printer's status server, or empty.
    std::string StatusServerSocket;
    // Serial only.
    std::string BaudRate;
    std::string Parity;
    std::string DataBits;
    std::string StopBits;
    // Serial only, Linux: the device path that overrides /dev/ttyS<Port-1>.
    std::string Device;
    // Network only.
    std::string IP;
    std::string Socket;
    // What the port label shows before any status-server suffix.
    std::string PortLabel;
    // The four bytes of the last good status answer; empty until the first.
    std::string StatusBytes;
};
