#pragma once

#include <cstdint>

class PrinterContext;

// The TCP link to a network printer over the printer context's socket
// Winsock1, one connection per poll.

// Connects Winsock1 to the printer with `index` and sets LinkOpen when the
// connection is up within 5 seconds. An IP of 8 characters or fewer or an
// empty Socket is never tried. Errors while setting up are cleared.
void ConnectPrinter(PrinterContext& context, int16_t index);

// Closes the printer socket if it is open, waits for it to be closed and
// closes the link.
void CloseSocket(PrinterContext& context);

// Winsock1's close event: the printer or the network ended the connection.
void Winsock1_CloseSck(PrinterContext& context);
