#include "printer/PrinterLink.h"

#include "platform/MSComm.h"
#include "printer/CommandExchange.h"
#include "printer/NetworkTransport.h"
#include "printer/PrinterContext.h"
#include "printer/SerialTransport.h"
#include "socket/CNetSocket.h"

void CloseLink(PrinterContext& context)
{
    context.LinkOpen = false;
    if (context.MSComm1->PortOpen())
        ClosePort(context);
    if (context.Winsock1 && context.Winsock1->State() != sckClosed)
        CloseSocket(context);
}

void Winsock1_CloseSck(PrinterContext& context)
{
    CloseLink(context);
}

void WirePrinterLink(PrinterContext& context)
{
    context.MSComm1->OnComm = [&context] { MSComm1_OnComm(context); };
    context.Winsock1->Events.CloseSck = [&context] { Winsock1_CloseSck(context); };
    context.Winsock1->Events.DataArrival = [&context](int32_t bytesTotal) { Winsock1_DataArrival(context, bytesTotal); };
}
