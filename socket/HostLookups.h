#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

class CNetSocket;
struct HostLookupBuffer;

// The host-name look-ups one socket has started and not yet heard back
// from, and the buffer where the answer is left. A look-up runs off the
// user-interface thread and its end reaches the socket as a notification
// through modNetSocket; the socket then takes the answer from here. Owned
// by CNetSocket.
class HostLookups {
public:
    // Starts looking `host` up for `owner`. False when it could not start,
    // with `error` 7 when no buffer could be had, else the platform's reason.
    bool Start(const std::string& host, CNetSocket* owner, int32_t& error);
    // A look-up that told its end: it no longer reaches the owner.
    void Ended(int32_t handle);
    // The address found (0 when none) and the buffer freed.
    uint32_t TakeAnswer();
    void DropAnswer() { buffer_.reset(); }
    // Cancels every look-up the platform can still cancel.
    void CancelAll();

private:
    std::shared_ptr<HostLookupBuffer> buffer_;
    std::set<int32_t> pending_;
};
