// A status server on a loopback port, fed by a client whose bytes come from
// the input in chunks: a chunk that is exactly the request gets exactly the
// stored status, any other chunk nothing, once the server has read it all;
// the client may reset the connection and come back at any point, and
// resets it at the end of the input; the server must listen again each
// time, which after a reset it does at its connection timer's tick, here
// given at once instead of five seconds later. Input: a byte below 0xF0 is a chunk of that many bytes from the
// input, 0xF0 to 0xFE sends the request, 0xFF reconnects.
#include "fuzz/FuzzApplication.h"
#include "platform/EventPump.h"
#include "server/StatusServer.h"
#include "server/StatusStore.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"

#include <QTimer>
#include <memory>
#include <sys/ioctl.h>

namespace {

const std::string kRequest("\x1D\x61\x01", 3);
const std::string kStatus("\x04\x01\x00\xF0", 4);

struct Server : StatusStore {
    const std::string& StoredStatus(int16_t) const override { return kStatus; }
    void StatusRequestAnswered(int32_t) override {}

    CNetSocket socket;
    QTimer timer;
    StatusServer handlers{*this, socket, timer, "tcpServer1"};

    std::unique_ptr<StatusClient> Connect()
    {
        if (socket.State() != sckListening && timer.isActive())
            handlers.Timer();
        Expect(PumpUntil([&] { return socket.State() == sckListening; }, 3000), "the server did not listen again");
        auto client = std::make_unique<StatusClient>(socket.LocalPort());
        Expect(PumpUntil([&] { return socket.State() == sckConnected; }, 3000), "the server did not take a client");
        return client;
    }

    void Send(StatusClient& client, const std::string& chunk)
    {
        int unread = 0;
        Expect(client.Send(chunk), "the server dropped the connection");
        Expect(PumpUntil([&] { return ioctl(socket.SocketHandle(), FIONREAD, &unread) != 0 || unread == 0; }, 3000),
               "the server left bytes unread");
        DoEvents();
        Expect(client.ReadAvailable() == (chunk == kRequest ? kStatus : ""), "a wrong answer to a chunk");
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Server* server = [] {
        auto* s = new Server();
        s->socket.SetTag(" 0");
        s->socket.Bind(NetVariant(FreeLoopbackPort()), NetVariant(int32_t{0}));
        s->socket.Listen();
        return s;
    }();
    auto client = server->Connect();
    for (size_t at = 0; at < size;) {
        const uint8_t command = data[at++];
        const size_t length = std::min<size_t>(command, size - at);
        if (command == 0xFF) {
            client->Abort();
            client = server->Connect();
        } else if (command >= 0xF0) {
            server->Send(*client, kRequest);
        } else if (length > 0) {
            server->Send(*client, Bytes(data + at, length));
        }
        at += command < 0xF0 ? length : 0;
    }
    client->Abort();
    return 0;
}
