#include "printer/NetworkTransport.h"

#include "runtime/Conversions.h"
#include "runtime/ResumeNext.h"
#include "runtime/RuntimeError.h"
#include "printer/PrinterContext.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "socket/CNetSocket.h"

namespace {

constexpr double kConnectWaitSeconds = 5.0;
constexpr int kConnectSliceMs = 400;

// The unload may release the printer socket during any wait; a released
// socket is a closed link.
bool PrinterSocketConnected(const PrinterContext& context)
{
    return context.Winsock1 && context.Winsock1->State() == sckConnected;
}

// Waits until the socket is connected or 5 seconds have passed.
void WaitForConnection(PrinterContext& context)
{
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    for (;;) {
        if (PrinterSocketConnected(context)) {
            context.SetLinkOpen();
            return;
        }
        if (clock.Now() - start > kConnectWaitSeconds)
            return;
        DoEvents();
        // A connection made while events were pumped needs no sleep.
        if (!PrinterSocketConnected(context))
            clock.Sleep(kConnectSliceMs);
    }
}

}  // namespace

bool IsAddressTried(const std::string& ip)
{
    return ip.size() > 8;
}

void ConnectPrinter(PrinterContext& context, int16_t index)
{
    const PrinterEntry* entry = nullptr;
    ResumeNext([&] { entry = &context.PrinterTable.at(static_cast<size_t>(index)); });
    // Only network printers with a plausible address and a port; an address
    // of eight characters or fewer is never tried.
    if (!entry || entry->Port != 0 || !IsAddressTried(entry->IP) || entry->Socket.empty() || !context.Winsock1)
        return;
    CNetSocket& socket = *context.Winsock1;
    // A socket left open by anything earlier is closed first.
    ResumeNext([&] {
        if (socket.State() >= 1)
            CloseSocket(context);
    });
    ResumeNext([&] { socket.SetProtocol(sckTCPProtocol); });
    ResumeNext([&] { socket.SetRemoteHost(entry->IP); });
    ResumeNext([&] { socket.SetRemotePort(RoundToInt32(LeadingNumber(entry->Socket))); });
    ResumeNext([&] { socket.Connect(); });
    ResumeNext([&] { WaitForConnection(context); });
}

// The close leaves the socket closed when it returns, or raises why it could
// not; nothing that waiting could change, so nothing waits for it. A socket
// that failed to close ends in sckError without a descriptor, and the next
// close of the next poll leaves it closed.
void CloseSocket(PrinterContext& context)
{
    if (!context.Winsock1 || context.Winsock1->State() < 1)
        return;
    CNetSocket& socket = *context.Winsock1;
    context.LinkOpen = false;
    try {
        socket.CloseSck();
    } catch (const RuntimeError&) {
    }
}
