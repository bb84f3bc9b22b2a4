#include "printer/SerialTransport.h"

#include "runtime/Conversions.h"
#include "runtime/RuntimeError.h"
#include "runtime/ResumeNext.h"
#include "printer/PrinterContext.h"
#include "platform/MSComm.h"
#include "printer/W32Comms.h"

#include <cmath>
#include <exception>

namespace {

// The configuration keeps a framing value whole once its first character
// passes ("even", "8 bits"), so that character is the field. Stop bits
// "1.5" stay one and a half, which no port here can do: the port refuses
// it and the printer's link stays closed.
std::string ProvisionalSettings(const PrinterEntry& entry)
{
    auto first = [](const std::string& text) { return text.substr(0, 1); };
    const std::string stopBits = entry.StopBits.rfind("1.5", 0) == 0 ? "1.5" : first(entry.StopBits);
    return "1200," + first(entry.Parity) + "," + first(entry.DataBits) + "," + stopBits;
}

// The control's properties, in their order, then the open.
void OpenPort(PrinterContext& context, const PrinterEntry& entry)
{
    MSComm& comm = *context.MSComm1;
    comm.SetCommPort(entry.Port);
    comm.SetDevicePath(entry.Device);
    comm.SetSettings(ProvisionalSettings(entry));
    comm.SetHandshaking(0);
    comm.SetInputMode(1);
    comm.SetInputLen(1);
    comm.SetOutBufferSize(context.SerialOutBufferSize);
    comm.SetInBufferSize(context.SerialInBufferSize);
    comm.SetRThreshold(1);
    comm.SetSThreshold(0);
    comm.SetOutBufferCount(0);
    comm.SetDTREnable(true);
    comm.SetRTSEnable(context.RTSEnable);
    comm.SetPortOpen(true);
}

}  // namespace

void SetCom(PrinterContext& context, int16_t index)
{
    try {
        const PrinterEntry& entry = context.PrinterTable.at(static_cast<size_t>(index));
        if (entry.Port < 1)
            return;
        // A port left open by anyone is closed first.
        ClosePort(context);
        OpenPort(context, entry);
        // The configured speed, written into the open port.
        int32_t baud = WholeTextToInt32(entry.BaudRate);
        if (SetCommBaudRate(*context.MSComm1, baud).empty()) {
            context.SetLinkOpen();
            return;
        }
    } catch (const std::exception&) {
    }
    // A port that cannot be opened or set up: no link.
    ClosePort(context);
    context.LinkOpen = false;
}

void ClosePort(PrinterContext& context)
{
    MSComm& comm = *context.MSComm1;
    if (!comm.PortOpen())
        return;
    ResumeNext([&] { comm.SetOutBufferCount(0); });
    ResumeNext([&] { comm.SetPortOpen(false); });
    context.LinkOpen = false;
}
