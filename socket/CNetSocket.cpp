#include "socket/CNetSocket.h"

#include "runtime/RuntimeError.h"
#include "platform/MessageBox.h"
#include "platform/SocketCalls.h"
#include "platform/StandardError.h"
#include "socket/HostAddresses.h"
#include "socket/HostLookups.h"
#include "socket/SocketErrors.h"
#include "socket/SocketMessages.h"
#include "socket/WinsockErrorText.h"
#include "socket/modNetSocket.h"

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

}  // namespace

CNetSocket::CNetSocket() : alive_(std::make_shared<bool>(true))
{
    modNetSocket::InitiateProcesses();
}

CNetSocket::~CNetSocket()
{
    *alive_ = false;
    RunQuietly([this] { lookups_.CancelAll(); });
    if (!acceptHolder_)
        RunQuietly([this] { DestroySocket(); });
    heldPort_.Release();
    // A look-up whose cancel failed, or a connection that was never taken
    // over, must not reach this object once it is gone.
    modNetSocket::ForgetOwner(this);
    RunQuietly([] { modNetSocket::FinalizeProcesses(); });
}

template <typename Handler, typename... Args>
bool CNetSocket::Raise(Handler EventHandlers::*event, Args&&... args)
{
    // The copy keeps the handler alive should it destroy this object.
    Handler handler = Events.*event;
    if (!handler)
        return true;
    std::shared_ptr<bool> alive = alive_;
    handler(std::forward<Args>(args)...);
    return *alive;
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
    return state_ == sckConnected ? localAddress_ : HostAddresses::LocalIP();
}

int32_t CNetSocket::BytesReceived() const
{
    return recvBuffer_.Available(socketHandle_, IsDatagram());
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
        if (state_ == sckConnected && !sendBuffer_.Empty())
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
    if (address != HostAddresses::kNoAddressYet)
        ConnectToIP(address, 0);
}

uint32_t CNetSocket::ResolveIfHostname(const std::string& host)
{
    uint32_t address = SocketCalls::InetAddr(host);
    if (address != HostAddresses::kNotAnAddress)
        return address;
    state_ = sckResolvingHost;
    int32_t error = 0;
    if (!lookups_.Start(host, this, error)) {
        state_ = sckError;
        if (error == kErrOutOfMemory)
            Fail(kErrOutOfMemory, "Out of memory", "CNetSocket.ResolveIfHostname");
        ReportError(error, "CNetSocket.ResolveIfHostname");
    }
    return HostAddresses::kNoAddressYet;
}

void CNetSocket::PostHostLookup(int32_t handle, uint16_t error)
{
    lookups_.Ended(handle);
    if (state_ != sckResolvingHost)
        return;
    if (error != 0) {
        lookups_.DropAnswer();
        ConnectToIP(HostAddresses::kNoAddressYet, error);
        return;
    }
    state_ = sckHostResolved;
    ConnectToIP(lookups_.TakeAnswer(), 0);
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
    HostAddresses::ReadLocalAddress(socketHandle_, boundLocalPort_, localAddress_);
    HostAddresses::ReadPeerAddress(socketHandle_, remotePort_, remoteHostIP_, remoteHost_);
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
    uint32_t address = HostAddresses::AddressFromText(addressText, dotted, error);
    if (error != 0)
        Fail(kErrBadArgument, kTextInvalidArgument, "CNetSocket.BindInternal");
    if (TakeHeldPort(address, port)) {
        localPort_ = port;
        return true;
    }
    if (!SocketExists())
        return false;
    if (int32_t bindError = heldPort_.Bind(socketHandle_, IsDatagram(), address, port))
        FailWithSocketError(bindError, "CNetSocket.BindInternal");
    if (port != 0) {
        localPort_ = port;
        return true;
    }
    int32_t bound = HostAddresses::BoundPort(socketHandle_, error);
    if (bound == -1)
        FailWithSocketError(error, "CNetSocket.BindInternal");
    boundLocalPort_ = bound;
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
    HostAddresses::ReadPeerAddress(accepted, remotePort_, remoteHostIP_, remoteHost_);
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
    HostAddresses::ReadLocalAddress(socket, boundLocalPort_, localAddress_);
    HostAddresses::ReadPeerAddress(socket, remotePort_, remoteHostIP_, remoteHost_);
    state_ = sckConnected;
    if (holder->BytesReceived() > 0) {
        std::string held;
        holder->GetData(held);
        recvBuffer_.Append(held);
    }
    if (recvBuffer_.Size() > 0 && !Raise(&EventHandlers::DataArrival, static_cast<int32_t>(recvBuffer_.Size())))
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
    HostAddresses::ReadLocalAddress(socketHandle_, boundLocalPort_, localAddress_);
    modNetSocket::RegisterSocket(socketHandle_, this, false);
}

// Without a socket there is nothing to close, but the object still ends
// closed: a socket that could not be made must not leave it in sckError for
// good, where no property can be set and no method be called again.
void CNetSocket::CloseSck()
{
    if (socketHandle_ != -1) {
        state_ = sckClosing;
        lookups_.CancelAll();
        if (!HoldListeningPort())
            DestroySocket();
    }
    boundLocalPort_ = 0;
    remoteHostIP_.clear();
    recvBuffer_.Clear();
    sendBuffer_.Clear();
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

// A listener of a port it holds keeps the socket, out of the
// notifications, until the next Bind. True when it did.
bool CNetSocket::HoldListeningPort()
{
    if (!listening_ || IsDatagram() || !heldPort_.Hold(socketHandle_))
        return false;
    modNetSocket::UnregisterSocket(socketHandle_);
    socketHandle_ = -1;
    listening_ = false;
    return true;
}

bool CNetSocket::TakeHeldPort(uint32_t address, int32_t port)
{
    const int32_t held = heldPort_.Take(address, port, socketHandle_ != -1);
    if (held == -1)
        return false;
    socketHandle_ = held;
    ProcessOptions();
    modNetSocket::RegisterSocket(socketHandle_, this, true);
    return true;
}

void CNetSocket::ProcessOptions()
{
    auto read = [this](SocketCalls::Option option, int32_t& value) {
        if (int32_t error = SocketCalls::GetOption(socketHandle_, option, value))
            FailWithSocketError(error, "CNetSocket.ProcessOptions");
    };
    if (IsDatagram()) {
        SocketCalls::SetOption(socketHandle_, SocketCalls::Option::Broadcast, 1);
        read(SocketCalls::Option::MaxMessageSize, recvChunkSize_);
        sendChunkSize_ = recvChunkSize_;
    } else {
        read(SocketCalls::Option::ReceiveBuffer, recvChunkSize_);
        read(SocketCalls::Option::SendBuffer, sendChunkSize_);
    }
}

void CNetSocket::SendData(const NetVariant& data)
{
    if (IsDatagram()) {
        if (!SocketExists() || !BindInternal(std::nullopt, std::nullopt))
            return;
        state_ = sckOpen;
    } else if (state_ != sckConnected) {
        Fail(kErrWrongState, kTextWrongState, "CNetSocket.SendData");
    }
    std::optional<std::string> bytes = data.ToBytes();
    if (!bytes)
        Fail(kErrUnsupportedType, kTextUnsupportedType, "CNetSocket.SendData");
    if (bytes->empty())
        return;
    bool wasIdle = sendBuffer_.Empty();
    sendBuffer_.Append(*bytes);
    if (wasIdle)
        FlushSendBuffer();
}

bool CNetSocket::FlushSendBuffer()
{
    return IsDatagram() ? SendBufferedDataUDP() : SendBufferedData();
}

// Whatever a handler of SendComplete sends goes out in the same flush.
bool CNetSocket::SendBufferedData()
{
    while (!sendBuffer_.Empty()) {
        const SendBuffer::Pushed pushed = sendBuffer_.Push(socketHandle_, sendChunkSize_);
        if (pushed.error == WSAEWOULDBLOCK)
            return pushed.sent == 0
                   || Raise(&EventHandlers::SendProgress, pushed.sent, static_cast<int32_t>(sendBuffer_.Size()));
        if (pushed.error != 0) {
            state_ = sckError;
            return ReportError(pushed.error, "CNetSocket.SendBufferedData");
        }
        if (!Raise(&EventHandlers::SendProgress, pushed.sent, 0) || !Raise(&EventHandlers::SendComplete))
            return false;
    }
    return true;
}

bool CNetSocket::SendBufferedDataUDP()
{
    const std::string source = "CNetSocket.SendBufferedDataUDP";
    const int32_t error = sendBuffer_.SendDatagram(socketHandle_, remoteHost_, remotePort_, source);
    if (error == 0)
        return true;
    state_ = sckError;
    return ReportError(error, source);
}

void CNetSocket::ReceiveStream()
{
    size_t received = 0;
    if (int32_t error = recvBuffer_.Fill(socketHandle_, recvChunkSize_, received)) {
        state_ = sckError;
        FailWithSocketError(error, "CNetSocket.RecvDataToBuffer");
    }
    if (received > 0)
        Raise(&EventHandlers::DataArrival, static_cast<int32_t>(recvBuffer_.Size()));
}

// The handler may read the datagram or leave it; either way the next one
// is announced only after this one has gone.
void CNetSocket::ReceiveDatagram()
{
    int32_t pending = ReceiveBuffer::PendingDatagram(socketHandle_);
    if (pending > 0 && !Raise(&EventHandlers::DataArrival, pending))
        return;
    ReceiveBuffer::DiscardDatagram(socketHandle_);
}

void CNetSocket::GetData(NetVariant& data, NetVariant* varType, NetVariant* maxLen)
{
    CheckReceiveState("CNetSocket.GetData", true);
    recvBuffer_.Read(socketHandle_, IsDatagram(), data, false, varType, maxLen, "CNetSocket.GetData", Sender());
    ResumeDeferredReceive();
}

void CNetSocket::GetData(std::string& data)
{
    NetVariant text = std::string();
    GetData(text);
    data = text.ToText();
}

void CNetSocket::PeekData(NetVariant& data, NetVariant* varType, NetVariant* maxLen)
{
    CheckReceiveState("CNetSocket.PeekData", false);
    recvBuffer_.Read(socketHandle_, IsDatagram(), data, true, varType, maxLen, "CNetSocket.PeekData", Sender());
}

void CNetSocket::SetReceiveLimit(int32_t bytes)
{
    recvBuffer_.SetLimit(bytes);
    ResumeDeferredReceive();
}

void CNetSocket::CloseSend()
{
    if (IsDatagram() || state_ != sckConnected || !sendBuffer_.Empty())
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.CloseSend");
    if (int32_t error = SocketCalls::ShutdownSend(socketHandle_))
        FailWithSocketError(error, "CNetSocket.CloseSend");
}

// The platform announces the bytes it holds again once there is room.
void CNetSocket::ResumeDeferredReceive()
{
    if (state_ == sckConnected && recvBuffer_.ResumeDeferred())
        modNetSocket::RenewReadNotification(socketHandle_);
}

void CNetSocket::CheckReceiveState(const std::string& source, bool holderMayRead) const
{
    bool ready = IsDatagram() ? state_ == sckOpen : state_ == sckConnected || (holderMayRead && acceptHolder_);
    if (!ready)
        Fail(kErrWrongState, kTextWrongState, source);
}

