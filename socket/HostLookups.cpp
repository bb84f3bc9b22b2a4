#include "socket/HostLookups.h"

#include "socket/SocketErrors.h"
#include "socket/modNetSocket.h"

#include <new>

bool HostLookups::Start(const std::string& host, CNetSocket* owner, int32_t& error)
{
    try {
        buffer_ = std::make_shared<HostLookupBuffer>();
    } catch (const std::bad_alloc&) {
        buffer_.reset();
        error = SocketErrors::kErrOutOfMemory;
        return false;
    }
    int32_t handle = modNetSocket::RequestHostLookup(host, buffer_, owner, error);
    if (handle == 0) {
        buffer_.reset();
        return false;
    }
    pending_.insert(handle);
    return true;
}

void HostLookups::Ended(int32_t handle)
{
    pending_.erase(handle);
    modNetSocket::UnregisterHostLookup(handle);
}

uint32_t HostLookups::TakeAnswer()
{
    const uint32_t address = buffer_ ? buffer_->address : 0;
    buffer_.reset();
    return address;
}

void HostLookups::CancelAll()
{
    std::set<int32_t> handles = pending_;
    for (int32_t handle : handles) {
        if (!modNetSocket::CancelHostLookup(handle))
            continue;
        modNetSocket::UnregisterHostLookup(handle);
        pending_.clear();
        buffer_.reset();
    }
}
