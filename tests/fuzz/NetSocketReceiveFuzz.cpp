// CNetSocket's receive path over a real loopback connection: a peer sends
// bytes from the input, then GetData and PeekData run with data values,
// type codes and lengths from the input (numbers of any size, texts,
// nothing). The socket may refuse an argument with its run-time errors;
// otherwise peeking leaves the buffer as it was, taking removes exactly the
// bytes handed out, and every byte sent comes out once, in order.
#include "fuzz/FuzzApplication.h"
#include "runtime/RuntimeError.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

namespace {

struct Connection {
    CNetSocket listener;
    CNetSocket receiver;
    std::unique_ptr<StatusClient> peer;

    Connection()
    {
        listener.Events.ConnectionRequest = [this](int32_t requestID) { receiver.Accept(requestID); };
        listener.Bind(int32_t{0}, "127.0.0.1");
        listener.Listen();
        peer = std::make_unique<StatusClient>(listener.LocalPort());
        Expect(PumpUntil([this] { return receiver.State() == sckConnected; }, 3000), "no connection to fuzz over");
    }
};

NetVariant SomeValue(FuzzedDataProvider& input)
{
    static const int32_t kTypeCodes[] = {vbEmpty,  vbInteger, vbLong, vbSingle,    vbDouble, vbCurrency, vbDate,
                                         vbString, vbBoolean, vbByte, vbByteArray, vbArray,  1,          9};
    switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return NetVariant(input.PickValueInArray(kTypeCodes));
    case 1:
        return NetVariant(input.ConsumeIntegral<int32_t>());
    case 2:
        return NetVariant(input.ConsumeFloatingPoint<double>());
    case 3:
        return NetVariant(input.ConsumeRandomLengthString(12));
    case 4:
        return NetVariant(NetVariant::Currency{input.ConsumeIntegral<int64_t>()});
    case 5:
        return NetVariant(NetVariant::ByteArray{1, 2});
    case 6:
        return NetVariant(std::to_string(input.ConsumeIntegralInRange(-2, 600)));
    default:
        return NetVariant();
    }
}

std::string BytesOf(const NetVariant& value)
{
    if (const auto* text = value.Get<std::string>())
        return *text;
    if (const auto* bytes = value.Get<NetVariant::ByteArray>())
        return std::string(bytes->begin(), bytes->end());
    return {};
}

// One GetData or PeekData; `buffered` holds what the socket should hold.
void ReadOnce(CNetSocket& socket, FuzzedDataProvider& input, std::string& buffered)
{
    const bool peek = input.ConsumeBool();
    NetVariant data = input.ConsumeBool() ? SomeValue(input) : NetVariant();
    std::optional<NetVariant> type, length;
    if (input.ConsumeBool())
        type = SomeValue(input);
    if (input.ConsumeBool())
        length = SomeValue(input);
    const int32_t before = socket.BytesReceived();
    try {
        if (peek)
            socket.PeekData(data, type ? &*type : nullptr, length ? &*length : nullptr);
        else
            socket.GetData(data, type ? &*type : nullptr, length ? &*length : nullptr);
    } catch (const RuntimeError& error) {
        Expect(error.Number() == 40014 || error.Number() == 40018, "receive raised error " + std::to_string(error.Number()));
        Expect(socket.BytesReceived() == before, "a refused receive changed the buffer");
        return;
    }
    const int32_t after = socket.BytesReceived();
    Expect(after >= 0 && after <= before && (!peek || after == before), "the buffer grew, or shrank on a peek");
    const std::string handedOut = BytesOf(data);
    Expect(buffered.compare(0, handedOut.size(), handedOut) == 0, "the bytes handed out are not the first ones buffered");
    Expect(peek || handedOut.empty() || handedOut.size() == size_t(before - after), "taken and handed-out counts differ");
    buffered.erase(0, static_cast<size_t>(before - after));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Connection* connection = new Connection();
    CNetSocket& socket = connection->receiver;
    FuzzedDataProvider input(data, size);
    std::string buffered;
    while (input.remaining_bytes() > 0) {
        const std::string sent = input.ConsumeRandomLengthString(2048);
        Expect(connection->peer->Send(sent), "the connection failed");
        buffered += sent;
        Expect(PumpUntil([&] { return socket.BytesReceived() == static_cast<int32_t>(buffered.size()); }, 3000),
               "sent bytes did not reach the receive buffer");
        for (int reads = input.ConsumeIntegralInRange(0, 6); reads > 0; --reads)
            ReadOnce(socket, input, buffered);
    }
    std::string rest;
    socket.GetData(rest);
    Expect(rest == buffered, "what was left is not what the peer sent");
    return 0;
}
