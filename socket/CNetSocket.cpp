#include "socket/CNetSocket.h"

#include "runtime/RuntimeError.h"
#include "platform/MessageBox.h"
#include "platform/SocketCalls.h"
#include "platform/StandardError.h"
#include "socket/SocketMessages.h"
#include "socket/SocketErrors.h"
#include "socket/WinsockErrorText.h"
#include "socket/modNetSocket.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

using namespace SocketErrors;

namespace {

constexpr int kListenBacklog = 5;

// Destruction goes on past a failing step; the failure is only told.
template <typename Step>
void RunQuietly(Step step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        ReportLine("closing a socket: error " + std::to_string(error.Number()) + " in " + error.Source() + ": "
                   + error.Description());
    }
}

// A port argument: numeric within [lowest, 65535], else 40014; not numeric, 40018.
int32_t PortArgument(const NetVariant& value, int32_t lowest, const std::string& source)
{
    if (!value.IsNumeric())
        Fail(kErrUnsupportedType, kTextUnsupportedType, source);
    double port = value.ToNumber();
    if (port < lowest || port > 65535)
        Fail(kErrBadArgument, kTextOutOfRange, source);
    return RoundHalfEven(port);
}

}  // namespace

CNetSocket::CNetSocket() : alive_(std::make_shared<bool>(true))
{
    modNetSocket::InitiateProcesses();
}

CNetSocket::~CNetSocket()
{
    *alive_ = false;
    RunQuietly([this] { CancelHostLookups(); });
    if (!acceptHolder_)
        RunQuietly([this] { DestroySocket(); });
    ReleaseHeldPort();
    // A look-up whose cancel failed, or a connection that was never taken
    // over, must not reach this object once it is gone.
    modNetSocket::ForgetOwner(this);
    RunQuietly([] { modNetSocket::FinalizeProcesses(); });
}

bool CNetSocket::ReportError(int32_t code, const std::string& source)
{
    std::string description = GetWinsockErrorText(code);
    bool cancelDisplay = true;
    bool alive = Raise(&EventHandlers::Error, static_cast<int16_t>(code), description, 0, source, std::string(),
                       0, cancelDisplay);
    if (!cancelDisplay)
        ShowMessage(source, description);
    return alive;
}

void CNetSocket::SetRemotePort(int32_t value)
{
    if (protocol_ == sckTCPProtocol && state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.RemotePort");
    if (value < 0 || value > 65535)
        Fail(kErrBadArgument, kTextOutOfRange, "CNetSocket.RemotePort");
    remotePort_ = value;
}

void CNetSocket::SetRemoteHost(const std::string& value)
{
    if (protocol_ == sckTCPProtocol && state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.RemoteHost");
    remoteHost_ = value;
}

void CNetSocket::SetLocalPort(int32_t value)
{
    if (state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.LocalPort");
    if (value < 0 || value > 65535)
        Fail(kErrBadArgument, kTextOutOfRange, "CNetSocket.LocalPort");
    localPort_ = value;
}

void CNetSocket::SetProtocol(int32_t value)
{
    if (state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.Protocol");
    protocol_ = value;
}

std::string CNetSocket::LocalIP() const
{
    return state_ == sckConnected ? localAddress_ : GetLocalIP();
}

int32_t CNetSocket::BytesReceived() const
{
    return IsDatagram() ? GetPendingBytes() : static_cast<int32_t>(recvBuffer_.size());
}

int32_t CNetSocket::WndProc(int32_t, int32_t uMsg, int32_t wParam, int32_t lParam)
{
    if (uMsg == kMsgHostLookup)
        PostHostLookup(wParam, ErrorOfParam(lParam));
    else if (uMsg == kMsgSocketEvent)
        PostSocket(EventOfParam(lParam), ErrorOfParam(lParam));
    return 0;
}

void CNetSocket::PostSocket(uint16_t event, uint16_t error)
{
    if (error != 0) {
        state_ = sckError;
        ReportError(error, "CNetSocket.PostSocket");
        return;
    }
    switch (event) {
    case FD_READ:
        if (IsDatagram() && state_ == sckOpen)
            ReceiveDatagram();
        else if (!IsDatagram() && state_ == sckConnected)
            ReceiveStream();
        break;
    case FD_WRITE:
        if (state_ == sckConnected && !sendBuffer_.empty())
            FlushSendBuffer();
        break;
    case FD_ACCEPT:
        if (state_ == sckListening)
            AcceptConnection();
        break;
    case FD_CONNECT:
        if (state_ == sckConnecting)
            CompleteConnect();
        break;
    case FD_CLOSE:
        if (state_ == sckConnected) {
            state_ = sckClosing;
            Raise(&EventHandlers::CloseSck);
        }
        break;
    }
}

bool CNetSocket::SocketExists()
{
    if (socketHandle_ != -1)
        return true;
    int32_t created = -1;
    if (int32_t error = SocketCalls::Create(IsDatagram(), created)) {
        state_ = sckError;
        ReportError(error, "CNetSocket.SocketExists");
        return false;
    }
    socketHandle_ = created;
    ProcessOptions();
    return modNetSocket::RegisterSocket(socketHandle_, this, true);
}

void CNetSocket::Connect(std::optional<NetVariant> remoteHost, std::optional<NetVariant> remotePort)
{
    if (state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.Connect");
    if (remoteHost)
        remoteHost_ = remoteHost->ToText();
    if (remotePort)
        remotePort_ = PortArgument(*remotePort, 1, "CNetSocket.Connect");
    if (!SocketExists())
        return;
    if (protocol_ == sckUDPProtocol) {
        if (BindInternal(std::nullopt, std::nullopt))
            state_ = sckOpen;
        return;
    }
    uint32_t address = ResolveIfHostname(remoteHost_);
    if (address != kNoAddressYet)
        ConnectToIP(address, 0);
}

void CNetSocket::ConnectToIP(uint32_t address, int32_t error)
{
    if (error != 0) {
        state_ = sckError;
        ReportError(error, "CNetSocket.ConnectToIP");
        return;
    }
    state_ = sckConnecting;
    int32_t result = SocketCalls::Connect(socketHandle_, {address, static_cast<uint16_t>(remotePort_)});
    if (result == 0 || result == WSAEWOULDBLOCK)
        return;
    if (result == WSAEADDRNOTAVAIL)
        FailWithSocketError(result, "CNetSocket.ConnectToIP");
    state_ = sckError;
    ReportError(result, "CNetSocket.ConnectToIP");
}

void CNetSocket::CompleteConnect()
{
    ReadLocalAddress(socketHandle_, boundLocalPort_, localAddress_);
    ReadPeerAddress(socketHandle_, remotePort_, remoteHostIP_, remoteHost_);
    state_ = sckConnected;
    Raise(&EventHandlers::Connect);
}

void CNetSocket::Bind(std::optional<NetVariant> localPort, std::optional<NetVariant> localIP)
{
    if (state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.Bind");
    if (BindInternal(localPort, localIP))
        state_ = sckOpen;
}

bool CNetSocket::BindInternal(const std::optional<NetVariant>& localPort, const std::optional<NetVariant>& localIP)
{
    if (state_ == sckOpen)
        return true;
    int32_t port = localPort ? PortArgument(*localPort, 0, "CNetSocket.BindInternal") : localPort_;
    std::string addressText = localIP ? localIP->ToText() : std::string();
    std::string dotted;
    int32_t error = 0;
    uint32_t address = AddressFromText(addressText, dotted, error);
    if (error != 0)
        Fail(kErrBadArgument, kTextInvalidArgument, "CNetSocket.BindInternal");
    if (TakeHeldPort(address, port)) {
        localPort_ = port;
        return true;
    }
    if (!SocketExists())
        return false;
    // Only servers bind a stream socket; they must be able to bind their
    // port again at once, whatever connections of theirs wait out their
    // close. A server that holds its port never binds again while it runs.
    if (!IsDatagram())
        SocketCalls::SetOption(socketHandle_,
                               holdsPort_ ? SocketCalls::Option::ReusePort : SocketCalls::Option::ReuseAddress, 1);
    if (int32_t bindError = SocketCalls::Bind(socketHandle_, {address, static_cast<uint16_t>(port)}))
        FailWithSocketError(bindError, "CNetSocket.BindInternal");
    bindAddress_ = address;
    bindPort_ = port;
    if (port != 0) {
        localPort_ = port;
        return true;
    }
    int32_t bound = GetBoundPort(socketHandle_, error);
    if (bound == -1)
        FailWithSocketError(error, "CNetSocket.BindInternal");
    boundLocalPort_ = bound;
    return true;
}

int32_t CNetSocket::GetBoundPort(int32_t socket, int32_t& error)
{
    SocketCalls::Address local;
    error = SocketCalls::LocalName(socket, local);
    return error == 0 ? local.port : -1;
}

bool CNetSocket::ReadLocalAddress(int32_t socket, int32_t& port, std::string& dotted)
{
    SocketCalls::Address local;
    if (SocketCalls::LocalName(socket, local) != 0) {
        port = 0;
        dotted.clear();
        return false;
    }
    port = local.port;
    dotted = SocketCalls::InetNtoa(local.address);
    return true;
}

bool CNetSocket::ReadPeerAddress(int32_t socket, int32_t& port, std::string& dotted, std::string& host)
{
    SocketCalls::Address peer;
    if (SocketCalls::PeerName(socket, peer) != 0) {
        port = 0;
        dotted.clear();
        host.clear();
        return false;
    }
    port = peer.port;
    dotted = SocketCalls::InetNtoa(peer.address);
    return true;
}

void CNetSocket::Listen()
{
    if (state_ != sckClosed && state_ != sckOpen)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.Listen");
    if (!SocketExists() || !BindInternal(std::nullopt, std::nullopt))
        return;
    if (int32_t error = SocketCalls::Listen(socketHandle_, kListenBacklog))
        FailWithSocketError(error, "CNetSocket.Listen");
    listening_ = true;
    state_ = sckListening;
}

// FD_ACCEPT: the new connection waits in a holder while the owner decides
// in ConnectionRequest; whatever the owner does not take is closed.
void CNetSocket::AcceptConnection()
{
    int32_t accepted = -1;
    if (int32_t error = SocketCalls::Accept(socketHandle_, accepted)) {
        state_ = sckError;
        ReportError(error, "CNetSocket.PostSocket");
        return;
    }
    modNetSocket::RegisterPendingAccept(accepted);
    int32_t savedPort = remotePort_;
    std::string savedAddress = remoteHostIP_;
    std::string savedHost = remoteHost_;
    remoteHost_.clear();
    ReadPeerAddress(accepted, remotePort_, remoteHostIP_, remoteHost_);
    auto closeIfNotTaken = [accepted] {
        if (!modNetSocket::IsPendingAccept(accepted))
            return;
        SocketCalls::Close(accepted);
        modNetSocket::UnregisterSocket(accepted);
        modNetSocket::UnregisterPendingAccept(accepted);
    };
    // A listener still listening gets its own fields back, whatever the
    // handler did, also when it raised an error.
    std::shared_ptr<bool> alive = alive_;
    auto restoreListener = [&] {
        if (!*alive || state_ != sckListening)
            return;
        remotePort_ = savedPort;
        remoteHostIP_ = savedAddress;
        remoteHost_ = savedHost;
    };
    try {
        Raise(&EventHandlers::ConnectionRequest, accepted);
    } catch (...) {
        restoreListener();
        closeIfNotTaken();
        throw;
    }
    restoreListener();
    closeIfNotTaken();
}

void CNetSocket::Accept(int32_t requestID)
{
    if (state_ != sckClosed)
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.Accept");
    protocol_ = sckTCPProtocol;
    socketHandle_ = requestID;
    ProcessOptions();
    if (modNetSocket::IsPendingAccept(requestID)) {
        TakeOverPendingAccept(requestID);
    } else if (!modNetSocket::IsRegisteredSocket(requestID)) {
        BecomeAcceptHolder();
    } else {
        socketHandle_ = -1;
        sendChunkSize_ = 0;
        recvChunkSize_ = 0;
        Fail(kErrWrongState, kTextWrongState, "CNetSocket.Accept");
    }
}

void CNetSocket::TakeOverPendingAccept(int32_t socket)
{
    std::shared_ptr<CNetSocket> holder = modNetSocket::GetPendingAcceptObject(socket);
    // The dispatch entry names this object before the holder can go.
    modNetSocket::ReassignSocketOwner(socket, this);
    modNetSocket::UnregisterPendingAccept(socket);
    ReadLocalAddress(socket, boundLocalPort_, localAddress_);
    ReadPeerAddress(socket, remotePort_, remoteHostIP_, remoteHost_);
    state_ = sckConnected;
    if (holder->BytesReceived() > 0) {
        std::string held;
        holder->GetData(held);
        recvBuffer_ += held;
    }
    if (!recvBuffer_.empty() && !Raise(&EventHandlers::DataArrival, static_cast<int32_t>(recvBuffer_.size())))
        return;
    if (holder->State() == sckClosing) {
        state_ = sckClosing;
        Raise(&EventHandlers::CloseSck);
    }
}

void CNetSocket::BecomeAcceptHolder()
{
    acceptHolder_ = true;
    state_ = sckConnected;
    ReadLocalAddress(socketHandle_, boundLocalPort_, localAddress_);
    modNetSocket::RegisterSocket(socketHandle_, this, false);
}

// Without a socket there is nothing to close, but the object still ends
// closed: a socket that could not be made must not leave it in sckError for
// good, where no property can be set and no method be called again.
void CNetSocket::CloseSck()
{
    if (socketHandle_ != -1) {
        state_ = sckClosing;
        CancelHostLookups();
        if (!HoldListeningPort())
            DestroySocket();
    }
    boundLocalPort_ = 0;
    remoteHostIP_.clear();
    recvBuffer_.clear();
    sendBuffer_.clear();
    receiveDeferred_ = false;
    sendChunkSize_ = 0;
    recvChunkSize_ = 0;
    state_ = sckClosed;
}

// A close that fails has released the descriptor all the same (Linux frees
// it whatever close reports), so the handle is forgotten either way.
void CNetSocket::DestroySocket()
{
    if (socketHandle_ == -1)
        return;
    const int32_t error = SocketCalls::Close(socketHandle_);
    modNetSocket::UnregisterSocket(socketHandle_);
    socketHandle_ = -1;
    listening_ = false;
    if (error != 0) {
        state_ = sckError;
        FailWithSocketError(error, "CNetSocket.DestroySocket");
    }
}

// A listener of a port it holds stops listening and keeps the socket, with
// its port, out of the notifications until the next Bind. True when it did.
bool CNetSocket::HoldListeningPort()
{
    if (!holdsPort_ || !listening_ || bindPort_ == 0 || IsDatagram())
        return false;
    if (SocketCalls::StopListening(socketHandle_) != 0)
        return false;
    modNetSocket::UnregisterSocket(socketHandle_);
    heldHandle_ = std::exchange(socketHandle_, -1);
    listening_ = false;
    return true;
}

// The held socket serves a Bind to its own address and port; any other Bind
// releases it.
bool CNetSocket::TakeHeldPort(uint32_t address, int32_t port)
{
    if (heldHandle_ == -1)
        return false;
    if (socketHandle_ != -1 || address != bindAddress_ || port != bindPort_) {
        ReleaseHeldPort();
        return false;
    }
    socketHandle_ = std::exchange(heldHandle_, -1);
    ProcessOptions();
    modNetSocket::RegisterSocket(socketHandle_, this, true);
    return true;
}

void CNetSocket::ReleaseHeldPort()
{
    if (heldHandle_ != -1)
        SocketCalls::Close(std::exchange(heldHandle_, -1));
}

