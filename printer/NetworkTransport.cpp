#include "printer/NetworkTransport.h"

#include "core/Conversions.h"
#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "printer/SerialTransport.h"
#include "socket/CNetSocket.h"

#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr double kConnectWaitSeconds = 5.0;
constexpr int kConnectSliceMs = 400;
constexpr double kCloseWaitSeconds = 10.0;

// One statement of the connect: an error is cleared and the next one runs.
template <typename Step>
void Trapped(Step&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

// The Socket text as a port number: its numeric value rounded to the
// nearest 32-bit integer, 0 for text that is no number.
int32_t PortNumber(const std::string& text)
{
    const double value = std::nearbyint(LeadingNumber(text));
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw RuntimeError(kErrOverflow, "Overflow", "frmMain.ConnectPrinter");
    return static_cast<int32_t>(value);
}

// 7. Waits until the socket is connected or 5 seconds have passed.
void WaitForConnection(frmMain& form)
{
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    for (;;) {
        if (form.Winsock1->State() == sckConnected) {
            form.SetLinkOpen();
            return;
        }
        if (clock.Now() - start > kConnectWaitSeconds)
            return;
        DoEvents();
        clock.Sleep(kConnectSliceMs);
    }
}

}  // namespace

void ConnectPrinter(frmMain& form, int16_t index)
{
    const PrinterEntry* entry = nullptr;
    Trapped([&] { entry = &form.PrinterTable.at(static_cast<size_t>(index)); });
    // 1. to 3. Only network printers with a plausible address and a port.
    if (!entry || entry->Port != 0 || entry->IP.size() <= 8 || entry->Socket.empty())
        return;
    CNetSocket& socket = *form.Winsock1;
    // 4. A socket left open by anything earlier is closed first.
    Trapped([&] {
        if (socket.State() >= 1)
            CloseSocket(form);
    });
    // 5. and 6.
    Trapped([&] { socket.SetProtocol(sckTCPProtocol); });
    Trapped([&] { socket.SetRemoteHost(entry->IP); });
    Trapped([&] { socket.SetRemotePort(PortNumber(entry->Socket)); });
    Trapped([&] { socket.Connect(); });
    Trapped([&] { WaitForConnection(form); });
}

void CloseSocket(frmMain& form)
{
    CNetSocket& socket = *form.Winsock1;
    if (socket.State() < 1)
        return;
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
