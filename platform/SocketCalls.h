#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QObject;

// The Windows Sockets numbers that the socket layer acts on by name.
constexpr int32_t WSAEWOULDBLOCK = 10035;
constexpr int32_t WSAEMSGSIZE = 10040;
constexpr int32_t WSAEAFNOSUPPORT = 10047;
constexpr int32_t WSAEADDRNOTAVAIL = 10049;
constexpr int32_t WSAECONNABORTED = 10053;
constexpr int32_t WSAECONNRESET = 10054;

// The one door from the monitor to the BSD socket interface and the host
// resolver. Every call answers with a Windows Sockets error number (0 for
// success), translated from errno or the resolver's result in exactly one
// table, so the socket layer above never sees a host error code.
//
// Two seams serve the socket layer and its tests:
// - a test can make the next call of any kind fail with a chosen number
//   without reaching the system (FailNext);
// - one observer learns of every receive, send, accept, connect, listen and
//   close after it happened, the way a Windows socket library re-enables
//   its notifications inside those calls (SetObserver).
//
// Addresses are IPv4 values in network byte order, as the system holds them;
// ports are in host order. Called on the user-interface thread only.
class SocketCalls {
public:
    enum class Call {
        Startup,
        Cleanup,
        Create,
        Close,
        Shutdown,
        StopListening,
        Bind,
        Listen,
        Accept,
        Connect,
        Send,
        SendTo,
        Recv,
        RecvFrom,
        GetOption,
        SetOption,
        NonBlocking,
        PendingBytes,
        LocalName,
        PeerName,
        HostName,
        Resolve,
        StartLookup,
        CancelLookup,
    };

    enum class Option { ReceiveBuffer, SendBuffer, Broadcast, ReuseAddress, ReusePort, MaxMessageSize };

    enum class Readiness { Data, EndOfStream, Failed, Nothing };

    struct Address {
        uint32_t address = 0;
        uint16_t port = 0;
    };

    // The service start and stop of a Windows socket library; Linux needs
    // neither, so they only pass through the failure seam.
    static int32_t Startup();
    static int32_t Cleanup();

    static int32_t Create(bool datagram, int32_t& handle);
    static int32_t Close(int32_t handle);
    // Ends the sending direction of a connected stream: the peer reads the
    // end of the stream after what was sent, and receiving goes on.
    static int32_t ShutdownSend(int32_t handle);
    // Ends listening on a listening stream but keeps its bound address and
    // port: connections waiting to be accepted are reset, new ones are
    // refused, and a later Listen on the same handle listens again.
    static int32_t StopListening(int32_t handle);
    static int32_t Bind(int32_t handle, const Address& local);
    static int32_t Listen(int32_t handle, int backlog);
    // The accepted socket takes the listener's blocking mode.
    static int32_t Accept(int32_t handle, int32_t& accepted);
    static int32_t Connect(int32_t handle, const Address& remote);
    static int32_t Send(int32_t handle, const char* data, size_t length, size_t& sent);
    static int32_t SendTo(int32_t handle, const char* data, size_t length, const Address& to, size_t& sent);
    static int32_t Recv(int32_t handle, char* buffer, size_t length, size_t& received);
    // A datagram longer than `length` fills the buffer and answers 10040,
    // as a Windows socket library does.
    static int32_t RecvFrom(int32_t handle, char* buffer, size_t length, bool peek, size_t& received,
                            Address& from);
    static int32_t GetOption(int32_t handle, Option option, int32_t& value);
    static int32_t SetOption(int32_t handle, Option option, int32_t value);
    static int32_t SetNonBlocking(int32_t handle);
    static int32_t PendingBytes(int32_t handle, int32_t& count);
    static int32_t LocalName(int32_t handle, Address& local);
    static int32_t PeerName(int32_t handle, Address& peer);
    static int32_t HostName(std::string& name);
    // Blocking look-up of a host name: its first IPv4 address.
    static int32_t Resolve(const std::string& name, uint32_t& address);

    // Starts a look-up that runs off the user-interface thread; `done` is
    // called on that thread with an error number and the first IPv4 address,
    // unless `context` is gone or the look-up was cancelled first.
    using LookupDone = std::function<void(int32_t error, uint32_t address)>;
    static int32_t StartLookup(const std::string& name, QObject* context, LookupDone done, int32_t& id);
    static int32_t CancelLookup(int32_t id);

    // Readiness probes of the notification emulation; they are not reported
    // to the observer, since they do not count as receives.
    static Readiness Probe(int32_t handle, int32_t& error);
    static int32_t PendingError(int32_t handle);
    static bool IsDatagram(int32_t handle);

    // The IPv4 text conversions: dotted forms and plain numbers; 0xFFFFFFFF
    // when the text is none of them (so "255.255.255.255" is not an address).
    static uint32_t InetAddr(const std::string& text);
    static std::string InetNtoa(uint32_t address);

    static int32_t FromErrno(int error);
    static int32_t FromResolver(int result);

    static void FailNext(Call call, int32_t error);
    static void ClearFailures();

    using Observer = std::function<void(Call call, int32_t handle, int32_t error, int32_t result)>;
    static void SetObserver(Observer observer);
};
