#include "printer/PrinterContext.h"

#include "platform/MSComm.h"
#include "platform/UsbLibrary.h"
#include "socket/CNetSocket.h"

PrinterContext::PrinterContext() = default;

PrinterContext::~PrinterContext() = default;
