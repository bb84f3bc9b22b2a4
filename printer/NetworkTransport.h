#pragma once

#include <cstdint>

class frmMain;

// The TCP link to a network printer over the main window's printer socket
// Winsock1, one connection per poll.

// Connects Winsock1 to the printer with `index` and sets LinkOpen when the
// connection is up within 5 seconds. An IP of 8 characters or fewer or an
// empty Socket is never tried. Errors while setting up are cleared.
void ConnectPrinter(frmMain& form, int16_t index);

// Closes the printer socket if it is open, waits for it to be closed and
// closes the link.
void CloseSocket(frmMain& form);

// Winsock1's close event: the printer or the network ended the connection.
void Winsock1_CloseSck(frmMain& form);
