#include "socket/ReceiveBuffer.h"

#include "platform/SocketCalls.h"
#include "socket/SocketErrors.h"

#include <algorithm>
#include <limits>

using namespace SocketErrors;

namespace {

constexpr int32_t kFallbackChunk = 8192;

// The variant type a read gives: that of a variant that already holds a
// value (told back through `varType`), else the type asked for, else a byte
// array.
int32_t WantedType(const NetVariant& data, NetVariant* varType)
{
    if (!data.IsEmpty()) {
        if (varType)
            *varType = data.VarType();
        return data.VarType();
    }
    if (varType)
        return varType->IsNumeric() ? RoundHalfEven(varType->ToNumber()) : vbEmpty;
    return vbByteArray;
}

}  // namespace

void ReceiveBuffer::Clear()
{
    bytes_.clear();
    deferred_ = false;
}

size_t ReceiveBuffer::Room() const
{
    if (limit_ < 0)
        return std::numeric_limits<size_t>::max();
    const size_t limit = static_cast<size_t>(limit_);
    return bytes_.size() < limit ? limit - bytes_.size() : 0;
}

int32_t ReceiveBuffer::Fill(int32_t socket, int32_t chunkSize, size_t& received)
{
    received = 0;
    const size_t room = Room();
    if (room == 0) {
        deferred_ = true;
        return 0;
    }
    size_t chunk = std::min<size_t>(chunkSize > 0 ? chunkSize : kFallbackChunk, room);
    if (scratch_.size() < chunk)
        scratch_.resize(chunk);
    if (int32_t error = SocketCalls::Recv(socket, scratch_.data(), chunk, received)) {
        received = 0;
        return error;
    }
    bytes_.append(scratch_.data(), received);
    return 0;
}

bool ReceiveBuffer::ResumeDeferred()
{
    if (!deferred_ || Room() == 0)
        return false;
    deferred_ = false;
    return true;
}

int32_t ReceiveBuffer::Available(int32_t socket, bool datagram) const
{
    return datagram ? PendingDatagram(socket) : static_cast<int32_t>(bytes_.size());
}

int32_t ReceiveBuffer::PendingDatagram(int32_t socket)
{
    int32_t count = 0;
    return SocketCalls::PendingBytes(socket, count) == 0 ? count : 0;
}

void ReceiveBuffer::DiscardDatagram(int32_t socket)
{
    char scratch = 0;
    size_t received = 0;
    SocketCalls::Recv(socket, &scratch, 1, received);
}

void ReceiveBuffer::Read(int32_t socket, bool datagram, NetVariant& data, bool peek, NetVariant* varType,
                         NetVariant* maxLen, const std::string& source, const Sender& sender)
{
    if (datagram && PendingDatagram(socket) == 0)
        return;
    if (maxLen && !maxLen->IsNumeric())
        *maxLen = Available(socket, datagram);
    else if (maxLen && maxLen->ToNumber() < 0)
        Fail(kErrBadArgument, kTextOutOfRange, source);
    const int32_t available = Available(socket, datagram);
    const int32_t wanted = WantedType(data, varType);
    size_t count = 0;
    if (wanted == vbString || wanted == vbByteArray) {
        int32_t limit = maxLen ? RoundHalfEven(maxLen->ToNumber()) : available;
        if (limit == 0 || available == 0) {
            data = NetVariant::ByteArray();
            if (maxLen && datagram) {
                DiscardDatagram(socket);
                FailWithSocketError(WSAEMSGSIZE, "CNetSocket.RecvData");
            }
            return;
        }
        count = std::min(limit, available);
    } else if (size_t size = NetVariant::FixedSize(wanted)) {
        if (static_cast<size_t>(available) < size)
            return;
        count = size;
    } else {
        Fail(kErrUnsupportedType, kTextUnsupportedType, "CNetSocket.RecvData");
    }
    int32_t error = 0;
    std::string taken = Take(socket, datagram, count, peek, sender, error);
    data = NetVariant::FromBytes(wanted, taken);
    if (error != 0)
        FailWithSocketError(error, "CNetSocket.RecvData");
}

std::string ReceiveBuffer::Take(int32_t socket, bool datagram, size_t count, bool peek, const Sender& sender,
                                int32_t& error)
{
    if (!datagram) {
        std::string bytes = bytes_.substr(0, count);
        if (!peek)
            bytes_.erase(0, count);
        return bytes;
    }
    std::string bytes(count, '\0');
    size_t received = 0;
    SocketCalls::Address from;
    error = SocketCalls::RecvFrom(socket, bytes.data(), count, peek, received, from);
    if (error == 0 || error == WSAEMSGSIZE) {
        sender.port = from.port;
        sender.dotted = SocketCalls::InetNtoa(from.address);
    }
    return bytes;
}
