#pragma once

#include "socket/DispatchTable.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CNetSocket;

// Where a host look-up leaves its result for the object that asked.
struct HostLookupBuffer {
    uint32_t address = 0;  // the first IPv4 address, network byte order
};

// The process-wide half of the socket layer. It counts the live CNetSocket
// objects and keeps the socket service on while there is one; owns the
// message window on which every socket notification and look-up completion
// arrives, created with the first registered socket and closed with the
// last; keeps the registries of sockets, their owners and the accepted
// connections that wait for an owner; selects the notifications of each
// registered socket; and routes each notification to the owner that the
// dispatch tables name at the moment it is handled.
//
// Called by CNetSocket and, for the read-only views at the end, by tests.
// User-interface thread only; an owner may register and unregister sockets
// while a notification is being routed to it.
class modNetSocket {
public:
    static void InitiateProcesses();
    static void FinalizeProcesses();

    // An accepted connection is registered without events: its
    // notifications follow from the listening socket's selection.
    static bool RegisterSocket(int32_t socket, CNetSocket* owner, bool withEvents);
    static void UnregisterSocket(int32_t socket);
    static bool IsRegisteredSocket(int32_t socket);
    static void ReassignSocketOwner(int32_t socket, CNetSocket* owner);
    // A connected socket whose last FD_READ was left unread is announced
    // again while the platform holds bytes for it.
    static void RenewReadNotification(int32_t socket);

    // Accepted connections waiting for their owner, each held by a holder
    // object until the owner's Accept takes it or nobody does.
    static void RegisterPendingAccept(int32_t socket);
    static bool IsPendingAccept(int32_t socket);
    static std::shared_ptr<CNetSocket> GetPendingAcceptObject(int32_t socket);
    static void UnregisterPendingAccept(int32_t socket);

    // Starts an asynchronous look-up whose completion reaches `owner` as
    // message 0x8000; 0 when it cannot start, with the reason in `error`.
    static int32_t RequestHostLookup(const std::string& name, std::shared_ptr<HostLookupBuffer> buffer,
                                     CNetSocket* owner, int32_t& error);
    static bool CancelHostLookup(int32_t handle);
    static void UnregisterHostLookup(int32_t handle);

    // Frees every dispatch entry that still names `owner`, so that nothing
    // is routed to an object that is gone.
    static void ForgetOwner(const CNetSocket* owner);

    static bool ServiceStarted();
    static int32_t ReferenceCount();
    static bool MessageWindowExists();
    static std::vector<DispatchTable::Entry> SocketTable();
    static std::vector<DispatchTable::Entry> LookupTable();
    // Messages that have reached the router, routed or dropped.
    static uint64_t MessagesRouted();
};
