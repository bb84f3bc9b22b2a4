#include "printer/SerialTransport.h"

#include "core/frmMain.h"

// The serial port itself arrives with the serial transport; until then no
// serial link ever opens, so a serial printer's poll finds LinkOpen False
// and ends without a status, as after a failed open.

void SetCom(frmMain&, int16_t)
{
}

void ClosePort(frmMain& form)
{
    CloseLink(form);
}

void CloseLink(frmMain& form)
{
    form.LinkOpen = false;
}
