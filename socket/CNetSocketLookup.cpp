// The socket class's host look-ups: a name to connect to resolved off the
// user-interface thread, an address text turned into an address, the local
// host's name and address.
#include "socket/CNetSocket.h"

#include "platform/SocketCalls.h"
#include "socket/SocketErrors.h"
#include "socket/modNetSocket.h"

#include <new>

using namespace SocketErrors;

uint32_t CNetSocket::ResolveIfHostname(const std::string& host)
{
    uint32_t address = SocketCalls::InetAddr(host);
    if (address != kNotAnAddress)
        return address;
    state_ = sckResolvingHost;
    if (!AllocLookupBuffer()) {
        state_ = sckError;
        Fail(kErrOutOfMemory, "Out of memory", "CNetSocket.ResolveIfHostname");
    }
    int32_t error = 0;
    int32_t handle = modNetSocket::RequestHostLookup(host, lookupBuffer_, this, error);
    if (handle != 0) {
        pendingLookups_.insert(handle);
    } else {
        FreeLookupBuffer();
        state_ = sckError;
        ReportError(error, "CNetSocket.ResolveIfHostname");
    }
    return kNoAddressYet;
}

void CNetSocket::PostHostLookup(int32_t handle, uint16_t error)
{
    pendingLookups_.erase(handle);
    modNetSocket::UnregisterHostLookup(handle);
    if (state_ != sckResolvingHost)
        return;
    if (error != 0) {
        FreeLookupBuffer();
        ConnectToIP(kNoAddressYet, error);
        return;
    }
    state_ = sckHostResolved;
    uint32_t address = lookupBuffer_ ? lookupBuffer_->address : 0;
    FreeLookupBuffer();
    ConnectToIP(address, 0);
}

// The empty text binds to the wildcard address: a socket bound without an
// address listens, or sends from, every local address.
uint32_t CNetSocket::AddressFromText(const std::string& text, std::string& dotted, int32_t& error)
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

bool CNetSocket::AllocLookupBuffer()
{
    try {
        lookupBuffer_ = std::make_shared<HostLookupBuffer>();
    } catch (const std::bad_alloc&) {
        lookupBuffer_.reset();
    }
    return lookupBuffer_ != nullptr;
}

void CNetSocket::FreeLookupBuffer()
{
    lookupBuffer_.reset();
}

void CNetSocket::CancelHostLookups()
{
    std::set<int32_t> handles = pendingLookups_;
    for (int32_t handle : handles) {
        if (!modNetSocket::CancelHostLookup(handle))
            continue;
        modNetSocket::UnregisterHostLookup(handle);
        pendingLookups_.clear();
        FreeLookupBuffer();
    }
}

std::string CNetSocket::GetLocalHostName() const
{
    std::string name;
    if (int32_t error = SocketCalls::HostName(name))
        FailWithSocketError(error, "CNetSocket.GetLocalHostName");
    return name;
}

std::string CNetSocket::GetLocalIP() const
{
    uint32_t address = 0;
    if (int32_t error = SocketCalls::Resolve(GetLocalHostName(), address))
        FailWithSocketError(error, "CNetSocket.GetLocalIP");
    return SocketCalls::InetNtoa(address);
}
