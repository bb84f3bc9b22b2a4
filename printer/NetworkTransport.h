#pragma once

#include <cstdint>
#include <string>

class PrinterContext;

// The TCP link to a network printer over the printer context's socket
// Winsock1, one connection per poll.

// Whether a printer at `ip` is ever connected: only an address of more than
// eight characters is tried, so 127.0.0.1 is and 10.0.0.1 is not.
bool IsAddressTried(const std::string& ip);

// Connects Winsock1 to the printer with `index` and sets LinkOpen when the
// connection is up within 5 seconds. An IP of 8 characters or fewer or an
// empty Socket is never tried. Errors while setting up are cleared.
void ConnectPrinter(PrinterContext& context, int16_t index);

// Closes the printer socket if it is open and marks the link closed. A
// close that fails leaves the socket in sckError without a descriptor, which
// the next close ends.
void CloseSocket(PrinterContext& context);
