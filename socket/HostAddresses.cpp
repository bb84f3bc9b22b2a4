#include "socket/HostAddresses.h"

#include "platform/SocketCalls.h"
#include "socket/SocketErrors.h"

namespace HostAddresses {

// The empty text binds to the wildcard address: a socket bound without an
// address listens, or sends from, every local address.
uint32_t AddressFromText(const std::string& text, std::string& dotted, int32_t& error)
{
    error = 0;
    if (text.empty()) {
        dotted = "0.0.0.0";
        return 0;
    }
    uint32_t address = SocketCalls::InetAddr(text);
    if (address != kNotAnAddress) {
        dotted = text;
        return address;
    }
    error = SocketCalls::Resolve(text, address);
    if (error != 0) {
        dotted.clear();
        return kNoAddressYet;
    }
    dotted = SocketCalls::InetNtoa(address);
    return address;
}

int32_t BoundPort(int32_t socket, int32_t& error)
{
    SocketCalls::Address local;
    error = SocketCalls::LocalName(socket, local);
    return error == 0 ? local.port : -1;
}

bool ReadLocalAddress(int32_t socket, int32_t& port, std::string& dotted)
{
    SocketCalls::Address local;
    if (SocketCalls::LocalName(socket, local) != 0) {
        port = 0;
        dotted.clear();
        return false;
    }
    port = local.port;
    dotted = SocketCalls::InetNtoa(local.address);
    return true;
}

bool ReadPeerAddress(int32_t socket, int32_t& port, std::string& dotted, std::string& host)
{
    SocketCalls::Address peer;
    if (SocketCalls::PeerName(socket, peer) != 0) {
        port = 0;
        dotted.clear();
        host.clear();
        return false;
    }
    port = peer.port;
    dotted = SocketCalls::InetNtoa(peer.address);
    return true;
}

std::string LocalHostName()
{
    std::string name;
    if (int32_t error = SocketCalls::HostName(name))
        SocketErrors::FailWithSocketError(error, "CNetSocket.GetLocalHostName");
    return name;
}

std::string LocalIP()
{
    uint32_t address = 0;
    if (int32_t error = SocketCalls::Resolve(LocalHostName(), address))
        SocketErrors::FailWithSocketError(error, "CNetSocket.GetLocalIP");
    return SocketCalls::InetNtoa(address);
}

}  // namespace HostAddresses
