#pragma once

#include <cstdint>
#include <vector>

class CNetSocket;

// One of the two routing tables of modNetSocket: entries numbered from 1
// that pair a handle (a socket, or a host look-up) with the object that
// receives its notifications. A freed entry holds -1 and no owner and is
// reused by the next addition; the table never shrinks until it is cleared.
// Owned by modNetSocket; used on the user-interface thread only.
class DispatchTable {
public:
    struct Entry {
        int32_t handle;
        CNetSocket* owner;
    };

    // Stores (handle, owner) in the first free entry, unless an entry ahead
    // of every free one already holds the handle: then its first owner stays.
    void Add(int32_t handle, CNetSocket* owner);
    // Frees the first entry that holds the handle.
    void Free(int32_t handle);
    // Gives the first entry that holds the handle a new owner.
    void Reassign(int32_t handle, CNetSocket* owner);
    // Frees every entry that names `owner`.
    void FreeOwner(const CNetSocket* owner);
    // The owner of the first entry that holds the handle, or null.
    CNetSocket* Find(int32_t handle) const;
    void Clear() { entries_.clear(); }

    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    const std::vector<Entry>& Entries() const { return entries_; }

private:
    Entry* FirstHolding(int32_t handle);

    std::vector<Entry> entries_;
};
