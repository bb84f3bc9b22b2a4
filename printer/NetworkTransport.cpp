#include "printer/NetworkTransport.h"

#include "runtime/Conversions.h"
#include "runtime/ResumeNext.h"
#include "core/frmMain.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "printer/SerialTransport.h"
#include "socket/CNetSocket.h"

namespace {

constexpr double kConnectWaitSeconds = 5.0;
constexpr int kConnectSliceMs = 400;
constexpr double kCloseWaitSeconds = 10.0;

// The unload may release the printer socket during any wait; a released
// socket is a closed link.
bool PrinterSocketConnected(const frmMain& form)
{
    return form.Winsock1 && form.Winsock1->State() == sckConnected;
}

// Waits until the socket is connected or 5 seconds have passed.
void WaitForConnection(frmMain& form)
{
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    for (;;) {
        if (PrinterSocketConnected(form)) {
            form.SetLinkOpen();
            return;
        }
        if (clock.Now() - start > kConnectWaitSeconds)
            return;
        DoEvents();
        // A connection made while events were pumped needs no sleep.
        if (!PrinterSocketConnected(form))
            clock.Sleep(kConnectSliceMs);
    }
}

}  // namespace

void ConnectPrinter(frmMain& form, int16_t index)
{
    const PrinterEntry* entry = nullptr;
    ResumeNext([&] { entry = &form.PrinterTable.at(static_cast<size_t>(index)); });
    // Only network printers with a plausible address and a port; an address
    // of eight characters or fewer is never tried.
    if (!entry || entry->Port != 0 || entry->IP.size() <= 8 || entry->Socket.empty() || !form.Winsock1)
        return;
    CNetSocket& socket = *form.Winsock1;
    // A socket left open by anything earlier is closed first.
    ResumeNext([&] {
        if (socket.State() >= 1)
            CloseSocket(form);
    });
    ResumeNext([&] { socket.SetProtocol(sckTCPProtocol); });
    ResumeNext([&] { socket.SetRemoteHost(entry->IP); });
    ResumeNext([&] { socket.SetRemotePort(RoundToInt32(LeadingNumber(entry->Socket))); });
    ResumeNext([&] { socket.Connect(); });
    ResumeNext([&] { WaitForConnection(form); });
}

void CloseSocket(frmMain& form)
{
    if (!form.Winsock1 || form.Winsock1->State() < 1)
        return;
    CNetSocket& socket = *form.Winsock1;
    socket.CloseSck();
    // Neither pumps events nor sleeps: the close leaves the socket closed
    // when it returns, so this normally ends at its first test.
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    while (socket.State() != sckClosed && clock.Now() - start < kCloseWaitSeconds) {
    }
    if (socket.State() == sckClosed)
        CloseLink(form);
    else
        form.LinkOpen = false;
}

void Winsock1_CloseSck(frmMain& form)
{
    CloseLink(form);
}
