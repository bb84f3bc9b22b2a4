#pragma once

#include <cstdint>
#include <string>

// Addresses as the socket class reads and tells them: a local address from
// the text a caller gives, the two ends of a platform socket, and this
// machine's name and address. Look-ups here answer at once; a connection's
// look-up of a host name, which must not block, goes through modNetSocket.
// Addresses are IPv4 in network byte order. Called by CNetSocket.
namespace HostAddresses {

// The result of a host-name look-up that cannot answer at once; it is also
// the value of the text 1.0.0.0, which therefore never connects.
constexpr uint32_t kNoAddressYet = 1;
// What the platform answers for a text that is no dotted address.
constexpr uint32_t kNotAnAddress = 0xFFFFFFFF;

// A dotted address, a host name looked up at once, or the empty text for the
// wildcard address; `dotted` tells it. A name that cannot be looked up sets
// `error` and gives kNoAddressYet.
uint32_t AddressFromText(const std::string& text, std::string& dotted, int32_t& error);

// The port the platform chose for a socket bound to port 0; -1 with `error`.
int32_t BoundPort(int32_t socket, int32_t& error);

// The local or the remote end of a socket; false, with the fields emptied,
// when the platform cannot tell it. The peer's host name is not looked up:
// `host` is only emptied when the peer is unknown.
bool ReadLocalAddress(int32_t socket, int32_t& port, std::string& dotted);
bool ReadPeerAddress(int32_t socket, int32_t& port, std::string& dotted, std::string& host);

// This machine's name and its first address; failures are run-time errors.
std::string LocalHostName();
std::string LocalIP();

}  // namespace HostAddresses
