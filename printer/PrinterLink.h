#pragma once

class PrinterContext;

// The printer link as a whole, over whichever device the poll in progress
// uses: closing it, the printer socket's close event, and the wiring of the
// receive events of both devices to the exchange. The transports each close
// only their own device; the poll, the exchange's abort and the main window
// close the link through here. User-interface thread only.

// Marks the link closed and closes whatever device is still open: the
// serial port, the printer socket, or both.
void CloseLink(PrinterContext& context);

// Winsock1's close event: the printer or the network ended the connection.
void Winsock1_CloseSck(PrinterContext& context);

// Hands MSComm1's receive event and Winsock1's close and data events to
// their handlers; both devices must exist.
void WirePrinterLink(PrinterContext& context);
