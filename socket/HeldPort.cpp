#include "socket/HeldPort.h"

#include "platform/SocketCalls.h"

#include <utility>

int32_t HeldPort::Bind(int32_t socket, bool datagram, uint32_t address, int32_t port)
{
    if (!datagram)
        SocketCalls::SetOption(socket, wanted_ ? SocketCalls::Option::ReusePort : SocketCalls::Option::ReuseAddress,
                               1);
    if (int32_t error = SocketCalls::Bind(socket, {address, static_cast<uint16_t>(port)}))
        return error;
    address_ = address;
    port_ = port;
    return 0;
}

bool HeldPort::Hold(int32_t socket)
{
    if (!wanted_ || port_ == 0 || SocketCalls::StopListening(socket) != 0)
        return false;
    handle_ = socket;
    return true;
}

int32_t HeldPort::Take(uint32_t address, int32_t port, bool ownerHasSocket)
{
    if (handle_ == -1)
        return -1;
    if (ownerHasSocket || address != address_ || port != port_) {
        Release();
        return -1;
    }
    return std::exchange(handle_, -1);
}

void HeldPort::Release()
{
    if (handle_ != -1)
        SocketCalls::Close(std::exchange(handle_, -1));
}
