#pragma once

#include <cstdint>

// The port a TCP listener keeps from its first bind to its owner's end, when
// the owner wants it held: stopping the listening leaves the socket bound
// here, out of the notifications, and the next bind to the same address and
// port takes it up again. No program of another user can bind or listen on
// the port meanwhile, since it is bound with SO_REUSEPORT, whose sharing the
// kernel keeps to one user, and without SO_REUSEADDR. Owned by CNetSocket,
// which registers and unregisters the socket it hands over or takes back.
class HeldPort {
public:
    HeldPort() = default;
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    ~HeldPort() { Release(); }

    void SetWanted(bool hold) { wanted_ = hold; }

    // Binds the owner's socket and remembers where; 0 or the Windows Sockets
    // error. A stream socket that is not to be held is bound so that it can
    // be bound again at once, whatever connections wait out their close.
    int32_t Bind(int32_t socket, bool datagram, uint32_t address, int32_t port);

    // Stops a listening stream socket's listening and keeps it. True when it
    // did; the socket is then this hold's. A port the platform chose is not
    // held.
    bool Hold(int32_t socket);

    // The held socket, for a bind to its own address and port by an owner
    // without a socket; -1 otherwise, and any other bind releases it.
    int32_t Take(uint32_t address, int32_t port, bool ownerHasSocket);

    void Release();

private:
    bool wanted_ = false;
    uint32_t address_ = 0;
    int32_t port_ = 0;
    int32_t handle_ = -1;
};
