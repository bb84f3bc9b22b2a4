#pragma once

#include "socket/NetVariant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct HostLookupBuffer;

constexpr int32_t sckClosed = 0;
constexpr int32_t sckOpen = 1;
constexpr int32_t sckListening = 2;
constexpr int32_t sckConnectionPending = 3;
constexpr int32_t sckResolvingHost = 4;
constexpr int32_t sckHostResolved = 5;
constexpr int32_t sckConnecting = 6;
constexpr int32_t sckConnected = 7;
constexpr int32_t sckClosing = 8;
constexpr int32_t sckError = 9;

constexpr int32_t sckTCPProtocol = 0;
constexpr int32_t sckUDPProtocol = 1;

// One TCP or UDP socket of the monitor with the states, properties, methods
// and events of a socket control: the owner (the main window's status
// servers and printer link, or a test) sets properties, calls methods that
// return at once, and learns of progress through Events. It owns its
// platform socket, its send and receive buffers and its outstanding host
// look-ups; modNetSocket routes the socket's notifications to WndProc.
//
// Events are raised synchronously on the owner. A handler may call any
// method of this or another socket, pump the event loop, or destroy this
// object; the raising code touches nothing of a destroyed object. Methods
// report failures as RuntimeError (number, description, "CNetSocket.<name>");
// failures found while handling a notification are reported through the
// Error event.
//
// Values that the socket control takes as variants are NetVariants: the
// data of SendData, GetData and PeekData, and the optional arguments of
// Connect and Bind (a port may be a number or a text such as "9101"). An
// optional argument that may be written back is a pointer, null when
// missing. GetData(std::string&) reads everything as text, one character
// per byte.
//
// User-interface thread only.
class CNetSocket {
public:
    struct EventHandlers {
        std::function<void()> CloseSck;
        std::function<void()> Connect;
        std::function<void(int32_t requestID)> ConnectionRequest;
        std::function<void(int32_t bytesTotal)> DataArrival;
        std::function<void(int16_t Number, std::string& Description, int32_t sCode, const std::string& Source,
                           const std::string& HelpFile, int32_t HelpContext, bool& CancelDisplay)>
            Error;
        std::function<void()> SendComplete;
        std::function<void(int32_t bytesSent, int32_t bytesRemaining)> SendProgress;
    };

    EventHandlers Events;

    CNetSocket();
    ~CNetSocket();
    CNetSocket(const CNetSocket&) = delete;
    CNetSocket& operator=(const CNetSocket&) = delete;

    int32_t RemotePort() const { return remotePort_; }
    void SetRemotePort(int32_t value);
    const std::string& RemoteHost() const { return remoteHost_; }
    void SetRemoteHost(const std::string& value);
    const std::string& RemoteHostIP() const { return remoteHostIP_; }
    int32_t LocalPort() const { return boundLocalPort_ != 0 ? boundLocalPort_ : localPort_; }
    void SetLocalPort(int32_t value);
    int32_t State() const { return state_; }
    std::string LocalHostName() const { return GetLocalHostName(); }
    std::string LocalIP() const;
    int32_t BytesReceived() const;
    int32_t SocketHandle() const { return socketHandle_; }
    const std::string& Tag() const { return tag_; }
    void SetTag(const std::string& value) { tag_ = value; }
    int32_t Protocol() const { return protocol_; }
    void SetProtocol(int32_t value);

    void CloseSck();
    void Connect(std::optional<NetVariant> remoteHost = std::nullopt,
                 std::optional<NetVariant> remotePort = std::nullopt);
    void Bind(std::optional<NetVariant> localPort = std::nullopt, std::optional<NetVariant> localIP = std::nullopt);
    void Listen();
    void Accept(int32_t requestID);
    void SendData(const NetVariant& data);
    void GetData(NetVariant& data, NetVariant* varType = nullptr, NetVariant* maxLen = nullptr);
    void GetData(NetVariant& data, int32_t varType);
    void GetData(std::string& data);
    void PeekData(NetVariant& data, NetVariant* varType = nullptr, NetVariant* maxLen = nullptr);
    void PeekData(NetVariant& data, int32_t varType);
    int32_t GetOutBufferLength() const { return static_cast<int32_t>(sendBuffer_.size()); }

    // The most bytes the TCP receive buffer takes from the platform socket;
    // negative (the default) for no limit. While the buffer holds that many,
    // FD_READ leaves further bytes with the platform, whose buffers then push
    // back on the peer, until the owner reads or raises the limit. A server
    // that must not be made to hold a client's input sets it.
    void SetReceiveLimit(int32_t bytes);

    // A TCP listener that holds its port keeps it from its first bind to the
    // object's end: CloseSck stops the listening (waiting connections are
    // reset, new ones refused) but leaves the port bound, and a later Bind
    // to the same address and port takes it up again. No program of another
    // user can bind or listen on the port meanwhile, since the port is bound
    // with SO_REUSEPORT, whose sharing the kernel keeps to one user, and
    // without SO_REUSEADDR. The status servers hold theirs.
    void SetHoldsPort(bool hold) { holdsPort_ = hold; }

    // Ends the sending direction of a TCP connection whose send buffer is
    // empty: the peer reads the end of the stream while this side still
    // receives what the peer sends, until either closes.
    void CloseSend();

    // The notification entry for modNetSocket; owners do not call it.
    int32_t WndProc(int32_t hwnd, int32_t uMsg, int32_t wParam, int32_t lParam);

private:
    bool IsDatagram() const { return protocol_ != sckTCPProtocol; }

    // Raising events: each answers whether this object still exists.
    template <typename Handler, typename... Args>
    bool Raise(Handler EventHandlers::*event, Args&&... args);
    bool ReportError(int32_t code, const std::string& source);

    void PostSocket(uint16_t event, uint16_t error);
    void PostHostLookup(int32_t handle, uint16_t error);

    bool SocketExists();
    uint32_t ResolveIfHostname(const std::string& host);
    void ConnectToIP(uint32_t address, int32_t error);
    void CompleteConnect();
    bool BindInternal(const std::optional<NetVariant>& localPort, const std::optional<NetVariant>& localIP);
    static uint32_t AddressFromText(const std::string& text, std::string& dotted, int32_t& error);
    static int32_t GetBoundPort(int32_t socket, int32_t& error);
    static bool ReadLocalAddress(int32_t socket, int32_t& port, std::string& dotted);
    static bool ReadPeerAddress(int32_t socket, int32_t& port, std::string& dotted, std::string& host);
    bool AllocLookupBuffer();
    void FreeLookupBuffer();
    void CancelHostLookups();
    void DestroySocket();
    bool HoldListeningPort();
    bool TakeHeldPort(uint32_t address, int32_t port);
    void ReleaseHeldPort();
    std::string GetLocalHostName() const;
    std::string GetLocalIP() const;

    void AcceptConnection();
    void TakeOverPendingAccept(int32_t socket);
    void BecomeAcceptHolder();

    void ProcessOptions();
    bool FlushSendBuffer();
    bool SendBufferedData();
    bool SendBufferedDataUDP();
    void ReceiveStream();
    void ReceiveDatagram();
    int32_t RecvDataToBuffer(size_t room);
    size_t ReceiveRoom() const;
    void ResumeDeferredReceive();
    void CheckReceiveState(const std::string& source, bool holderMayRead) const;
    void ReceiveInto(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen,
                     const std::string& source);
    int32_t RecvData(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen);
    std::string TakeBytes(size_t count, bool peek, int32_t& error);
    int32_t Available() const;
    int32_t GetPendingBytes() const;
    void DiscardDatagram();

    int32_t socketHandle_ = -1;
    int32_t state_ = sckClosed;
    std::string tag_;
    std::string remoteHost_;
    int32_t remotePort_ = 0;
    std::string remoteHostIP_;
    int32_t localPort_ = 0;
    int32_t boundLocalPort_ = 0;
    std::string localAddress_;
    int32_t protocol_ = sckTCPProtocol;
    std::shared_ptr<HostLookupBuffer> lookupBuffer_;
    int32_t sendChunkSize_ = 0;
    int32_t recvChunkSize_ = 0;
    std::string sendBuffer_;
    std::string recvBuffer_;
    bool acceptHolder_ = false;
    bool holdsPort_ = false;
    // The socket handle listens (also in sckError after a failed accept).
    bool listening_ = false;
    // Where the socket handle was bound: address, and port when asked for.
    uint32_t bindAddress_ = 0;
    int32_t bindPort_ = 0;
    // A listener that stopped listening and keeps its port for the next Bind.
    int32_t heldHandle_ = -1;
    int32_t receiveLimit_ = -1;
    // An FD_READ found no room: the platform holds bytes not yet announced.
    bool receiveDeferred_ = false;
    std::set<int32_t> pendingLookups_;
    std::vector<char> recvScratch_;
    // Cleared by the destructor, so that code raising an event learns that
    // the handler destroyed this object.
    std::shared_ptr<bool> alive_;
};
