#include "printer/NetworkTransport.h"

#include "core/frmMain.h"
#include "printer/SerialTransport.h"

// The printer socket arrives with the network transport; until then no
// network link ever opens, so a network printer's poll finds LinkOpen False
// and ends without a status, as after a failed connect.

void ConnectPrinter(frmMain&, int16_t)
{
}

void CloseSocket(frmMain& form)
{
    CloseLink(form);
}
