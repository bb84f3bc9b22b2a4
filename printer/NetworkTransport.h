#pragma once

#include <cstdint>

class frmMain;

// The TCP link to a network printer, one connection per poll.

// Connects Winsock1 to the printer with `index` and sets LinkOpen when the
// connection is up.
void ConnectPrinter(frmMain& form, int16_t index);

// Closes the printer socket and the link.
void CloseSocket(frmMain& form);
