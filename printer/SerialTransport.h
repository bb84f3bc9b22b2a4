#pragma once

#include <cstdint>

class frmMain;

// The serial link to a printer, opened afresh for every poll and closed
// after it.

// Opens and sets up the serial port of the printer with `index` and sets
// LinkOpen when the port is usable.
void SetCom(frmMain& form, int16_t index);

// Drops unsent bytes, closes the serial port if it is open and closes the
// link; does nothing when no port is open.
void ClosePort(frmMain& form);

// Marks the printer link closed.
void CloseLink(frmMain& form);
