// The socket class's sending side: the chunk sizes read from the socket's
// options, SendData's send buffer drained over TCP with SendProgress and
// SendComplete or sent as one datagram, and the end of the sending direction.
#include "socket/CNetSocket.h"

#include "platform/SocketCalls.h"
#include "socket/SocketErrors.h"

#include <algorithm>

using namespace SocketErrors;

void CNetSocket::ProcessOptions()
{
    auto read = [this](SocketCalls::Option option, int32_t& value) {
        if (int32_t error = SocketCalls::GetOption(socketHandle_, option, value))
            FailWithSocketError(error, "CNetSocket.ProcessOptions");
    };
    if (IsDatagram()) {
        SocketCalls::SetOption(socketHandle_, SocketCalls::Option::Broadcast, 1);
        read(SocketCalls::Option::MaxMessageSize, recvChunkSize_);
        sendChunkSize_ = recvChunkSize_;
    } else {
        read(SocketCalls::Option::ReceiveBuffer, recvChunkSize_);
        read(SocketCalls::Option::SendBuffer, sendChunkSize_);
    }
}

void CNetSocket::SendData(const NetVariant& data)
{
    if (IsDatagram()) {
        if (!SocketExists() || !BindInternal(std::nullopt, std::nullopt))
            return;
        state_ = sckOpen;
    } else if (state_ != sckConnected) {
        Fail(kErrWrongState, kTextWrongState, "CNetSocket.SendData");
    }
    std::optional<std::string> bytes = data.ToBytes();
    if (!bytes)
        Fail(kErrUnsupportedType, kTextUnsupportedType, "CNetSocket.SendData");
    if (bytes->empty())
        return;
    bool wasIdle = sendBuffer_.empty();
    sendBuffer_ += *bytes;
    if (wasIdle)
        FlushSendBuffer();
}

bool CNetSocket::FlushSendBuffer()
{
    return IsDatagram() ? SendBufferedDataUDP() : SendBufferedData();
}

// Sends in chunks of at most the send chunk size from an offset, and trims
// the sent bytes off the buffer once, when the flush stops.
bool CNetSocket::SendBufferedData()
{
    int32_t sentSoFar = 0;
    size_t offset = 0;
    while (offset < sendBuffer_.size()) {
        size_t remaining = sendBuffer_.size() - offset;
        size_t chunk = sendChunkSize_ > 0 ? std::min<size_t>(remaining, sendChunkSize_) : remaining;
        size_t sent = 0;
        int32_t error = SocketCalls::Send(socketHandle_, sendBuffer_.data() + offset, chunk, sent);
        if (error != 0)
            sendBuffer_.erase(0, offset);
        if (error == WSAEWOULDBLOCK) {
            // The rest goes out on the next FD_WRITE.
            if (sentSoFar > 0)
                return Raise(&EventHandlers::SendProgress, sentSoFar, static_cast<int32_t>(sendBuffer_.size()));
            return true;
        }
        if (error != 0) {
            state_ = sckError;
            return ReportError(error, "CNetSocket.SendBufferedData");
        }
        sentSoFar += static_cast<int32_t>(sent);
        if (remaining > sent) {
            offset += sent;
            continue;
        }
        sendBuffer_.clear();
        offset = 0;
        int32_t total = sentSoFar;
        sentSoFar = 0;
        if (!Raise(&EventHandlers::SendProgress, total, 0) || !Raise(&EventHandlers::SendComplete))
            return false;
    }
    return true;
}

bool CNetSocket::SendBufferedDataUDP()
{
    const std::string source = "CNetSocket.SendBufferedDataUDP";
    std::string dotted;
    int32_t error = 0;
    uint32_t address = AddressFromText(remoteHost_, dotted, error);
    if (error != 0) {
        sendBuffer_.clear();
        if (error == WSAEAFNOSUPPORT)
            FailWithSocketError(error, source);
        Fail(kErrBadArgument, kTextInvalidArgument, source);
    }
    std::string datagram;
    datagram.swap(sendBuffer_);
    size_t sent = 0;
    error = SocketCalls::SendTo(socketHandle_, datagram.data(), datagram.size(),
                                {address, static_cast<uint16_t>(remotePort_)}, sent);
    if (error == WSAEWOULDBLOCK)
        FailWithSocketError(error, source);
    if (error != 0) {
        state_ = sckError;
        return ReportError(error, source);
    }
    return true;
}

void CNetSocket::CloseSend()
{
    if (IsDatagram() || state_ != sckConnected || !sendBuffer_.empty())
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.CloseSend");
    if (int32_t error = SocketCalls::ShutdownSend(socketHandle_))
        FailWithSocketError(error, "CNetSocket.CloseSend");
}
