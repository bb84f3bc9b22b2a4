// CNetSocket's receive path over a real loopback connection: a peer sends
// bytes from the input, then GetData and PeekData run with data values,
// type codes and lengths from the input. The socket may refuse an argument
// with its run-time errors; otherwise a peek leaves the buffer as it was, a
// take removes exactly the bytes handed out, and every byte sent comes out
// once, in order.
#include "fuzz/FuzzApplication.h"
#include "runtime/RuntimeError.h"
#include "socket/CNetSocket.h"
#include "support/StatusClient.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

NetVariant SomeValue(FuzzedDataProvider& input)
{
    const int32_t typeCodes[] = {vbEmpty, vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, vbDate,
                                 vbString, vbBoolean, vbByte, vbByteArray, vbArray, 1, 9};
    switch (input.ConsumeIntegralInRange(0, 6)) {
    case 0:
        return NetVariant(input.PickValueInArray(typeCodes));
    case 1:
        return NetVariant(input.ConsumeIntegral<int32_t>());
    case 2:
        return NetVariant(input.ConsumeFloatingPoint<double>());
    case 3:
        return NetVariant(input.ConsumeRandomLengthString(12));
    case 4:
        return NetVariant(NetVariant::ByteArray{1, 2});
    case 5:
        return NetVariant(std::to_string(input.ConsumeIntegralInRange(-2, 600)));
    default:
        return NetVariant();
    }
}

// One GetData or PeekData; `buffered` holds what the socket should hold.
void ReadOnce(CNetSocket& socket, FuzzedDataProvider& input, std::string& buffered)
{
    const bool peek = input.ConsumeBool();
    NetVariant data = SomeValue(input), type = SomeValue(input), length = SomeValue(input);
    NetVariant* typeGiven = input.ConsumeBool() ? &type : nullptr;
    NetVariant* lengthGiven = input.ConsumeBool() ? &length : nullptr;
    const int32_t before = socket.BytesReceived();
    try {
        peek ? socket.PeekData(data, typeGiven, lengthGiven) : socket.GetData(data, typeGiven, lengthGiven);
    } catch (const RuntimeError& error) {
        Expect((error.Number() == 40014 || error.Number() == 40018) && socket.BytesReceived() == before,
               "a receive refused with error " + std::to_string(error.Number()) + " or changing the buffer");
        return;
    }
    const int32_t after = socket.BytesReceived();
    const auto* text = data.Get<std::string>();
    const auto* bytes = data.Get<NetVariant::ByteArray>();
    const std::string out = text ? *text : bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    Expect(after >= 0 && after <= before && (!peek || after == before) && buffered.compare(0, out.size(), out) == 0
               && (peek || out.empty() || out.size() == size_t(before - after)),
           "the bytes handed out or taken are not the first ones buffered");
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
    static CNetSocket* receiver = new CNetSocket();
    static StatusClient* peer = [] {
        static CNetSocket listener;
        listener.Events.ConnectionRequest = [](int32_t requestID) { receiver->Accept(requestID); };
        listener.Bind(int32_t{0}, "127.0.0.1");
        listener.Listen();
        auto* client = new StatusClient(listener.LocalPort());
        Expect(PumpUntil([] { return receiver->State() == sckConnected; }, 3000), "no connection to fuzz over");
        return client;
    }();
    FuzzedDataProvider input(data, size);
    std::string buffered;
    while (input.remaining_bytes() > 0) {
        const std::string sent = input.ConsumeRandomLengthString(2048);
        buffered += sent;
        Expect(peer->Send(sent) && PumpUntil([&] { return receiver->BytesReceived() == int32_t(buffered.size()); }, 3000),
               "sent bytes did not reach the receive buffer");
        for (int reads = input.ConsumeIntegralInRange(0, 6); reads > 0; --reads)
            ReadOnce(*receiver, input, buffered);
    }
    std::string rest;
    receiver->GetData(rest);
    Expect(rest == buffered, "what was left is not what the peer sent");
    return 0;
}
