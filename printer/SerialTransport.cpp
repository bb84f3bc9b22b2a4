#include "printer/SerialTransport.h"

#include "runtime/Conversions.h"
#include "runtime/RuntimeError.h"
#include "runtime/ResumeNext.h"
#include "core/frmMain.h"
#include "platform/MSComm.h"
#include "printer/NetworkTransport.h"
#include "printer/W32Comms.h"
#include "socket/CNetSocket.h"

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
void OpenPort(frmMain& form, const PrinterEntry& entry)
{
    MSComm& comm = *form.MSComm1;
    comm.SetCommPort(entry.Port);
    comm.SetDevicePath(entry.Device);
    comm.SetSettings(ProvisionalSettings(entry));
    comm.SetHandshaking(0);
    comm.SetInputMode(1);
    comm.SetInputLen(1);
    comm.SetOutBufferSize(form.SerialOutBufferSize);
    comm.SetInBufferSize(form.SerialInBufferSize);
    comm.SetRThreshold(1);
    comm.SetSThreshold(0);
    comm.SetOutBufferCount(0);
    comm.SetDTREnable(true);
    comm.SetRTSEnable(form.RTSEnable);
    comm.SetPortOpen(true);
}

}  // namespace

void SetCom(frmMain& form, int16_t index)
{
    try {
        const PrinterEntry& entry = form.PrinterTable.at(static_cast<size_t>(index));
        if (entry.Port < 1)
            return;
        // A port left open by anyone is closed first.
        ClosePort(form);
        OpenPort(form, entry);
        // The configured speed, written into the open port.
        int32_t baud = WholeTextToInt32(entry.BaudRate);
        if (SetCommBaudRate(*form.MSComm1, baud).empty())
            form.SetLinkOpen();
        else
            CloseLink(form);
    } catch (const std::exception&) {
        // A port that cannot be opened or set up: no link.
        CloseLink(form);
    }
}

void ClosePort(frmMain& form)
{
    MSComm& comm = *form.MSComm1;
    if (!comm.PortOpen())
        return;
    ResumeNext([&] { comm.SetOutBufferCount(0); });
    ResumeNext([&] { comm.SetPortOpen(false); });
    CloseLink(form);
}

void CloseLink(frmMain& form)
{
    form.LinkOpen = false;
    if (form.MSComm1->PortOpen())
        ClosePort(form);
    if (form.Winsock1 && form.Winsock1->State() != sckClosed)
        CloseSocket(form);
}
