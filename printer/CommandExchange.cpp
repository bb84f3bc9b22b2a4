#include "printer/CommandExchange.h"

#include "core/frmMain.h"

// Sending and gathering over the serial port and the printer socket arrive
// with those transports. No link can be open before then, so there is
// nothing to send over and no reply.
std::string SendAndWait(frmMain&, const std::string&, char, float)
{
    return {};
}
