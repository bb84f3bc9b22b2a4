// CNetSocket's receive path over a real loopback connection: a peer sends
// bytes from the input, the socket gathers them into its receive buffer,
// then GetData and PeekData run with data values, type codes and lengths
// taken from the input (numbers of any size, texts, nothing). The socket may
// refuse an argument with its run-time errors; otherwise peeking must leave
// the buffer as it was, taking must remove exactly the bytes handed out, and
// every byte the peer sent must come out once, in order.
#include "runtime/RuntimeError.h"
#include "fuzz/FuzzApplication.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

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
        if (!PumpUntil([this] { return receiver.State() == sckConnected; }, 3000))
            FuzzFailure("no connection to fuzz over");
    }
};

Connection& TheConnection()
{
    static Connection* connection = new Connection();
    return *connection;
}

const int32_t kTypeCodes[] = {vbEmpty, vbInteger, vbLong,    vbSingle, vbDouble, vbCurrency, vbDate,
                              vbString, vbBoolean, vbByte, vbByteArray, vbArray, 1,        9};

NetVariant SomeValue(FuzzedDataProvider& input)
{
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

// The bytes a text or byte-array result carries; nothing for other types.
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
    std::optional<NetVariant> varType;
    std::optional<NetVariant> maxLen;
    if (input.ConsumeBool())
        varType = SomeValue(input);
    if (input.ConsumeBool())
        maxLen = SomeValue(input);

    const int32_t before = socket.BytesReceived();
    try {
        NetVariant* type = varType ? &*varType : nullptr;
        NetVariant* length = maxLen ? &*maxLen : nullptr;
        if (peek)
            socket.PeekData(data, type, length);
        else
            socket.GetData(data, type, length);
    } catch (const RuntimeError& error) {
        if (error.Number() != 40014 && error.Number() != 40018)
            FuzzFailure("receive raised error " + std::to_string(error.Number()));
        if (socket.BytesReceived() != before)
            FuzzFailure("a refused receive changed the buffer");
        return;
    }

    const int32_t after = socket.BytesReceived();
    if (after < 0 || after > before || (peek && after != before))
        FuzzFailure("the buffer went from " + std::to_string(before) + " to " + std::to_string(after) + " bytes");
    const size_t taken = static_cast<size_t>(before - after);
    const std::string handedOut = BytesOf(data);
    if (!handedOut.empty() && buffered.compare(0, handedOut.size(), handedOut) != 0)
        FuzzFailure("the bytes handed out are not the first ones buffered");
    if (!peek && !handedOut.empty() && handedOut.size() != taken)
        FuzzFailure("taken and handed-out byte counts differ");
    buffered.erase(0, taken);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    TheConnection();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Connection& connection = TheConnection();
    CNetSocket& socket = connection.receiver;
    FuzzedDataProvider input(data, size);
    std::string buffered;
    while (input.remaining_bytes() > 0) {
        const std::string sent = input.ConsumeRandomLengthString(2048);
        if (!connection.peer->Send(sent))
            FuzzFailure("the connection failed");
        buffered += sent;
        if (!PumpUntil([&] { return socket.BytesReceived() == static_cast<int32_t>(buffered.size()); }, 3000))
            FuzzFailure("sent bytes did not reach the receive buffer");
        const int reads = input.ConsumeIntegralInRange(0, 6);
        for (int i = 0; i < reads; ++i)
            ReadOnce(socket, input, buffered);
    }
    std::string rest;
    socket.GetData(rest);
    if (rest != buffered)
        FuzzFailure("what was left is not what the peer sent");
    return 0;
}
