#include "socket/SendBuffer.h"

#include "platform/SocketCalls.h"
#include "socket/HostAddresses.h"
#include "socket/SocketErrors.h"

#include <algorithm>

using namespace SocketErrors;

SendBuffer::Pushed SendBuffer::Push(int32_t socket, int32_t chunkSize)
{
    int32_t sentSoFar = 0;
    size_t offset = 0;
    while (offset < bytes_.size()) {
        const size_t remaining = bytes_.size() - offset;
        const size_t chunk = chunkSize > 0 ? std::min<size_t>(remaining, chunkSize) : remaining;
        size_t sent = 0;
        if (int32_t error = SocketCalls::Send(socket, bytes_.data() + offset, chunk, sent)) {
            bytes_.erase(0, offset);
            return {error, sentSoFar};
        }
        sentSoFar += static_cast<int32_t>(sent);
        offset += sent;
    }
    bytes_.clear();
    return {0, sentSoFar};
}

int32_t SendBuffer::SendDatagram(int32_t socket, const std::string& host, int32_t port, const std::string& source)
{
    std::string dotted;
    int32_t error = 0;
    const uint32_t address = HostAddresses::AddressFromText(host, dotted, error);
    if (error != 0) {
        bytes_.clear();
        if (error == WSAEAFNOSUPPORT)
            FailWithSocketError(error, source);
        Fail(kErrBadArgument, kTextInvalidArgument, source);
    }
    std::string datagram;
    datagram.swap(bytes_);
    size_t sent = 0;
    error = SocketCalls::SendTo(socket, datagram.data(), datagram.size(), {address, static_cast<uint16_t>(port)}, sent);
    if (error == WSAEWOULDBLOCK)
        FailWithSocketError(error, source);
    return error;
}
