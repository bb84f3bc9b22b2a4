// A status server of a real main window, on a loopback port, fed by a
// client whose bytes come from the input in chunks, with events pumped
// after each chunk until the server has read everything sent. A chunk that
// is exactly the request gets exactly the stored status; any other chunk
// gets nothing; the client may close and come back at any point, and the
// server must listen again each time. Any answer other than these, a
// server that stops listening, or a crash is a finding.
//
// Input: a sequence of commands. A byte below 0xF0 is a chunk of that many
// bytes (at most 239), taken from the input; 0xF0 to 0xFD sends the request
// itself; 0xFE closes the connection and connects again; 0xFF pumps events.
#include "core/frmMain.h"
#include "fuzz/FuzzApplication.h"
#include "platform/EventPump.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <sys/ioctl.h>

namespace {

const std::string kRequest("\x1D\x61\x01", 3);
const std::string kStatus("\x04\x01\x00\xF0", 4);

struct Monitor {
    TempDir dir;
    int32_t port = FreeLoopbackPort();
    std::unique_ptr<frmMain> form;

    Monitor()
    {
        dir.Write("StatusMonitorQ62m.ini",
                  "[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(port) + "\n");
        form = std::make_unique<frmMain>(dir.File("StatusMonitorQ62m.ini"));
        if (!form->Form_Load())
            FuzzFailure("the monitor did not load");
        form->PrinterTable[0].StatusBytes = kStatus;
    }

    CNetSocket& Server() { return *form->tcpServer1; }
};

Monitor& TheMonitor()
{
    static Monitor* monitor = new Monitor();
    return *monitor;
}

// Bytes the kernel holds for the server that it has not read yet.
int Unread(CNetSocket& server)
{
    int count = 0;
    if (server.SocketHandle() < 0 || ioctl(server.SocketHandle(), FIONREAD, &count) != 0)
        return 0;
    return count;
}

void AwaitListening(Monitor& monitor)
{
    if (!PumpUntil([&] { return monitor.Server().State() == sckListening; }, 3000))
        FuzzFailure("the server did not listen again; state " + std::to_string(monitor.Server().State()));
}

std::unique_ptr<StatusClient> Connect(Monitor& monitor)
{
    auto client = std::make_unique<StatusClient>(monitor.port);
    if (!client->Connected())
        FuzzFailure(std::string("the listening server refused a client: ") + std::strerror(errno));
    if (!PumpUntil([&] { return monitor.Server().State() == sckConnected; }, 3000))
        FuzzFailure("the server did not take the client");
    return client;
}

// Sends one chunk, lets the server read all of it, and checks the answer.
void SendChunk(Monitor& monitor, StatusClient& client, const std::string& chunk)
{
    if (!client.Send(chunk))
        FuzzFailure("the server dropped the connection");
    if (!PumpUntil([&] { return Unread(monitor.Server()) == 0; }, 3000))
        FuzzFailure("the server left bytes unread");
    DoEvents();
    const std::string answer = client.ReadAvailable();
    const std::string expected = chunk == kRequest ? kStatus : "";
    if (answer != expected)
        FuzzFailure("chunk of " + std::to_string(chunk.size()) + " bytes got an answer of "
                    + std::to_string(answer.size()) + " bytes");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    TheMonitor();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Monitor& monitor = TheMonitor();
    AwaitListening(monitor);
    auto client = Connect(monitor);
    size_t at = 0;
    while (at < size) {
        const uint8_t command = data[at++];
        if (command < 0xF0) {
            const size_t length = std::min<size_t>(command, size - at);
            if (length > 0)
                SendChunk(monitor, *client, std::string(reinterpret_cast<const char*>(data + at), length));
            at += length;
        } else if (command < 0xFE) {
            SendChunk(monitor, *client, kRequest);
        } else if (command == 0xFE) {
            client.reset();
            AwaitListening(monitor);
            client = Connect(monitor);
        } else {
            DoEvents();
        }
    }
    client.reset();
    AwaitListening(monitor);
    return 0;
}
