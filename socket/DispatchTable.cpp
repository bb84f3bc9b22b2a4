#include "socket/DispatchTable.h"

namespace {

constexpr int32_t kFree = -1;

}  // namespace

void DispatchTable::Add(int32_t handle, CNetSocket* owner)
{
    for (Entry& entry : entries_) {
        if (entry.handle == kFree) {
            entry = {handle, owner};
            return;
        }
        if (entry.handle == handle)
            return;
    }
    entries_.push_back({handle, owner});
}

void DispatchTable::Free(int32_t handle)
{
    if (Entry* entry = FirstHolding(handle))
        *entry = {kFree, nullptr};
}

void DispatchTable::FreeOwner(const CNetSocket* owner)
{
    for (Entry& entry : entries_) {
        if (entry.owner == owner)
            entry = {kFree, nullptr};
    }
}

void DispatchTable::Reassign(int32_t handle, CNetSocket* owner)
{
    if (Entry* entry = FirstHolding(handle))
        entry->owner = owner;
}

CNetSocket* DispatchTable::Find(int32_t handle) const
{
    for (const Entry& entry : entries_) {
        if (entry.handle == handle)
            return entry.owner;
    }
    return nullptr;
}

DispatchTable::Entry* DispatchTable::FirstHolding(int32_t handle)
{
    for (Entry& entry : entries_) {
        if (entry.handle == handle)
            return &entry;
    }
    return nullptr;
}
