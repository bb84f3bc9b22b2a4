#pragma once

#include "socket/HeldPort.h"
#include "socket/HostAddresses.h"
#include "socket/HostLookups.h"
#include "socket/NetVariant.h"
#include "socket/ReceiveBuffer.h"
#include "socket/SendBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
// platform socket, its send and receive buffers, its outstanding host
// look-ups and a port it holds, each a part of its own beside it (SendBuffer,
// ReceiveBuffer, HostLookups, HeldPort); modNetSocket routes the socket's
// notifications to WndProc.
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
    std::string LocalHostName() const { return HostAddresses::LocalHostName(); }
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
    void GetData(NetVariant& data, int32_t varType)
    {
        NetVariant type = varType;
        GetData(data, &type);
    }
    void GetData(std::string& data);
    void PeekData(NetVariant& data, NetVariant* varType = nullptr, NetVariant* maxLen = nullptr);
    void PeekData(NetVariant& data, int32_t varType)
    {
        NetVariant type = varType;
        PeekData(data, &type);
    }
    int32_t GetOutBufferLength() const { return static_cast<int32_t>(sendBuffer_.Size()); }

    // The most bytes the TCP receive buffer takes from the platform socket;
    // negative (the default) for no limit. While the buffer holds that many,
    // FD_READ leaves further bytes with the platform, whose buffers then push
    // back on the peer, until the owner reads or raises the limit. A server
    // that must not be made to hold a client's input sets it.
    void SetReceiveLimit(int32_t bytes);

    // A TCP listener that holds its port keeps it from its first bind to the
    // object's end: CloseSck stops the listening (waiting connections are
    // reset, new ones refused) but leaves the port bound, and a later Bind
    // to the same address and port takes it up again (HeldPort says how no
    // other user's program can take it meanwhile). The status servers hold
    // theirs.
    void SetHoldsPort(bool hold) { heldPort_.SetWanted(hold); }

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
    void DestroySocket();
    bool HoldListeningPort();
    bool TakeHeldPort(uint32_t address, int32_t port);

    void AcceptConnection();
    void TakeOverPendingAccept(int32_t socket);
    void BecomeAcceptHolder();

    void ProcessOptions();
    bool FlushSendBuffer();
    bool SendBufferedData();
    bool SendBufferedDataUDP();
    void ReceiveStream();
    void ReceiveDatagram();
    void ResumeDeferredReceive();
    void CheckReceiveState(const std::string& source, bool holderMayRead) const;
    // A datagram that is read tells its sender in the remote properties.
    ReceiveBuffer::Sender Sender() { return {remotePort_, remoteHostIP_}; }

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
    HostLookups lookups_;
    int32_t sendChunkSize_ = 0;
    int32_t recvChunkSize_ = 0;
    SendBuffer sendBuffer_;
    ReceiveBuffer recvBuffer_;
    bool acceptHolder_ = false;
    // The socket handle listens (also in sckError after a failed accept).
    bool listening_ = false;
    HeldPort heldPort_;
    // Cleared by the destructor, so that code raising an event learns that
    // the handler destroyed this object.
    std::shared_ptr<bool> alive_;
};
