// The socket class's receiving side: what FD_READ takes from the platform
// into the receive buffer, within the owner's limit, and how GetData and
// PeekData hand it out in the type and length asked for.
#include "socket/CNetSocket.h"

#include "platform/SocketCalls.h"
#include "socket/SocketErrors.h"
#include "socket/modNetSocket.h"

#include <algorithm>
#include <limits>

using namespace SocketErrors;

namespace {
constexpr int32_t kFallbackChunk = 8192;
}  // namespace

void CNetSocket::ReceiveStream()
{
    const size_t room = ReceiveRoom();
    if (room == 0) {
        receiveDeferred_ = true;
        return;
    }
    if (RecvDataToBuffer(room) < 1)
        return;
    Raise(&EventHandlers::DataArrival, static_cast<int32_t>(recvBuffer_.size()));
}

// The handler may read the datagram or leave it; either way the next one
// is announced only after this one has gone.
void CNetSocket::ReceiveDatagram()
{
    int32_t pending = GetPendingBytes();
    if (pending > 0 && !Raise(&EventHandlers::DataArrival, pending))
        return;
    DiscardDatagram();
}

int32_t CNetSocket::RecvDataToBuffer(size_t room)
{
    size_t chunk = std::min<size_t>(recvChunkSize_ > 0 ? recvChunkSize_ : kFallbackChunk, room);
    if (recvScratch_.size() < chunk)
        recvScratch_.resize(chunk);
    size_t received = 0;
    if (int32_t error = SocketCalls::Recv(socketHandle_, recvScratch_.data(), chunk, received)) {
        state_ = sckError;
        FailWithSocketError(error, "CNetSocket.RecvDataToBuffer");
    }
    recvBuffer_.append(recvScratch_.data(), received);
    return static_cast<int32_t>(received);
}

void CNetSocket::GetData(NetVariant& data, NetVariant* varType, NetVariant* maxLen)
{
    CheckReceiveState("CNetSocket.GetData", true);
    ReceiveInto(data, false, varType, maxLen, "CNetSocket.GetData");
    ResumeDeferredReceive();
}

void CNetSocket::GetData(NetVariant& data, int32_t varType)
{
    NetVariant type = varType;
    GetData(data, &type);
}

void CNetSocket::GetData(std::string& data)
{
    NetVariant text = std::string();
    GetData(text);
    data = text.ToText();
}

void CNetSocket::PeekData(NetVariant& data, NetVariant* varType, NetVariant* maxLen)
{
    CheckReceiveState("CNetSocket.PeekData", false);
    ReceiveInto(data, true, varType, maxLen, "CNetSocket.PeekData");
}

void CNetSocket::PeekData(NetVariant& data, int32_t varType)
{
    NetVariant type = varType;
    PeekData(data, &type);
}

void CNetSocket::SetReceiveLimit(int32_t bytes)
{
    receiveLimit_ = bytes;
    ResumeDeferredReceive();
}

size_t CNetSocket::ReceiveRoom() const
{
    if (receiveLimit_ < 0)
        return std::numeric_limits<size_t>::max();
    const size_t limit = static_cast<size_t>(receiveLimit_);
    return recvBuffer_.size() < limit ? limit - recvBuffer_.size() : 0;
}

// The platform announces the bytes it holds again once there is room.
void CNetSocket::ResumeDeferredReceive()
{
    if (!receiveDeferred_ || ReceiveRoom() == 0 || state_ != sckConnected)
        return;
    receiveDeferred_ = false;
    modNetSocket::RenewReadNotification(socketHandle_);
}

void CNetSocket::CheckReceiveState(const std::string& source, bool holderMayRead) const
{
    bool ready = IsDatagram() ? state_ == sckOpen : state_ == sckConnected || (holderMayRead && acceptHolder_);
    if (!ready)
        Fail(kErrWrongState, kTextWrongState, source);
}

void CNetSocket::ReceiveInto(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen,
                             const std::string& source)
{
    if (IsDatagram() && GetPendingBytes() == 0)
        return;
    if (maxLen && !maxLen->IsNumeric())
        *maxLen = Available();
    else if (maxLen && maxLen->ToNumber() < 0)
        Fail(kErrBadArgument, kTextOutOfRange, source);
    RecvData(data, peek, varType, maxLen);
}

int32_t CNetSocket::RecvData(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen)
{
    const int32_t available = Available();
    int32_t wanted = vbByteArray;
    if (!data.IsEmpty()) {
        wanted = data.VarType();
        if (varType)
            *varType = wanted;
    } else if (varType) {
        wanted = varType->IsNumeric() ? RoundHalfEven(varType->ToNumber()) : vbEmpty;
    }
    size_t count = 0;
    if (wanted == vbString || wanted == vbByteArray) {
        int32_t limit = maxLen ? RoundHalfEven(maxLen->ToNumber()) : available;
        if (limit == 0 || available == 0) {
            data = NetVariant::ByteArray();
            if (maxLen && IsDatagram()) {
                DiscardDatagram();
                FailWithSocketError(WSAEMSGSIZE, "CNetSocket.RecvData");
            }
            return 0;
        }
        count = std::min(limit, available);
    } else if (size_t size = NetVariant::FixedSize(wanted)) {
        if (static_cast<size_t>(available) < size)
            return 0;
        count = size;
    } else {
        Fail(kErrUnsupportedType, kTextUnsupportedType, "CNetSocket.RecvData");
    }
    int32_t error = 0;
    std::string taken = TakeBytes(count, peek, error);
    data = NetVariant::FromBytes(wanted, taken);
    if (error != 0)
        FailWithSocketError(error, "CNetSocket.RecvData");
    return static_cast<int32_t>(taken.size());
}

std::string CNetSocket::TakeBytes(size_t count, bool peek, int32_t& error)
{
    if (!IsDatagram()) {
        std::string bytes = recvBuffer_.substr(0, count);
        if (!peek)
            recvBuffer_.erase(0, count);
        return bytes;
    }
    std::string bytes(count, '\0');
    size_t received = 0;
    SocketCalls::Address sender;
    error = SocketCalls::RecvFrom(socketHandle_, bytes.data(), count, peek, received, sender);
    if (error == 0 || error == WSAEMSGSIZE) {
        remotePort_ = sender.port;
        remoteHostIP_ = SocketCalls::InetNtoa(sender.address);
    }
    return bytes;
}

int32_t CNetSocket::Available() const
{
    return IsDatagram() ? GetPendingBytes() : static_cast<int32_t>(recvBuffer_.size());
}

int32_t CNetSocket::GetPendingBytes() const
{
    int32_t count = 0;
    return SocketCalls::PendingBytes(socketHandle_, count) == 0 ? count : 0;
}

void CNetSocket::DiscardDatagram()
{
    char scratch = 0;
    size_t received = 0;
    SocketCalls::Recv(socketHandle_, &scratch, 1, received);
}
