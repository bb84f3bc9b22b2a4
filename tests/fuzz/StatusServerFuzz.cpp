// A status server on a loopback port, fed by a client whose bytes come from
// the input in chunks; after each chunk, events are pumped until the server
// has read all of it. A chunk that is exactly the request gets exactly the
// stored status, any other chunk nothing; the client may close and come
// back at any point, and the server must listen again each time.
//
// Input: commands. A byte below 0xF0 is a chunk of that many bytes taken
// from the input; 0xF0 to 0xFD sends the request itself; 0xFE closes the
// connection and connects again; 0xFF pumps events.
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

struct Store : StatusStore {
    const std::string& StoredStatus(int16_t) const override { return kStatus; }
    void StatusRequestAnswered(int32_t) override {}
};

struct Server {
    Store store;
    CNetSocket socket;
    QTimer timer;
    StatusServer handlers{store, socket, timer, "tcpServer1"};

    Server()
    {
        socket.SetTag(" 0");
        socket.Bind(NetVariant(FreeLoopbackPort()), NetVariant(int32_t{0}));
        socket.Listen();
    }

    void AwaitListening()
    {
        Expect(PumpUntil([&] { return socket.State() == sckListening; }, 3000), "the server did not listen again");
    }

    std::unique_ptr<StatusClient> Connect()
    {
        auto client = std::make_unique<StatusClient>(socket.LocalPort());
        Expect(client->Connected() && PumpUntil([&] { return socket.State() == sckConnected; }, 3000),
               "the listening server did not take a client");
        return client;
    }

    // Bytes the kernel holds for the server that it has not read yet.
    int Unread()
    {
        int count = 0;
        return socket.SocketHandle() >= 0 && ioctl(socket.SocketHandle(), FIONREAD, &count) == 0 ? count : 0;
    }

    void Send(StatusClient& client, const std::string& chunk)
    {
        Expect(client.Send(chunk), "the server dropped the connection");
        Expect(PumpUntil([&] { return Unread() == 0; }, 3000), "the server left bytes unread");
        DoEvents();
        const std::string answer = client.ReadAvailable();
        Expect(answer == (chunk == kRequest ? kStatus : ""), "a chunk of " + std::to_string(chunk.size())
                                                                 + " bytes got an answer of " + std::to_string(answer.size()));
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
    static Server* server = new Server();
    server->AwaitListening();
    auto client = server->Connect();
    for (size_t at = 0; at < size;) {
        const uint8_t command = data[at++];
        if (command < 0xF0) {
            const size_t length = std::min<size_t>(command, size - at);
            if (length > 0)
                server->Send(*client, Bytes(data + at, length));
            at += length;
        } else if (command < 0xFE) {
            server->Send(*client, kRequest);
        } else if (command == 0xFE) {
            client.reset();
            server->AwaitListening();
            client = server->Connect();
        } else {
            DoEvents();
        }
    }
    client.reset();
    server->AwaitListening();
    return 0;
}
