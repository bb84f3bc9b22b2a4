#pragma once

#include <cstdint>

class PrinterContext;

// The serial link to a printer over the printer context's serial control
// MSComm1, opened afresh for every poll and closed after it. PollPrinter,
// the exchange, the link as a whole (PrinterLink) and the unload call these
// on the user-interface thread. Nothing here reaches the user: a port that
// cannot be opened or set up leaves LinkOpen False.

// Opens the serial port of the printer with `index` at a provisional 1200
// baud with its parity, data bits and stop bits, then switches it to its
// BaudRate in the port's own settings, and sets LinkOpen. On any failure
// the port is closed and LinkOpen False. Does nothing for a printer whose
// Port is below 1.
void SetCom(PrinterContext& context, int16_t index);

// Drops unsent bytes, closes the serial port and marks the link closed;
// does nothing when the port is not open.
void ClosePort(PrinterContext& context);
