#include "socket/CNetSocket.h"

#include "runtime/RuntimeError.h"
#include "platform/MessageBox.h"
#include "platform/SocketCalls.h"
#include "platform/StandardError.h"
#include "socket/SocketMessages.h"
#include "socket/WinsockErrorText.h"
#include "socket/modNetSocket.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int32_t kErrOutOfMemory = 7;
constexpr int32_t kErrWrongState = 40006;
constexpr int32_t kErrBadArgument = 40014;
constexpr int32_t kErrUnsupportedType = 40018;
constexpr int32_t kErrInvalidOperation = 40020;

const char* const kTextInvalidOperation = "Invalid operation at current state";
const char* const kTextOutOfRange =
    "The argument passed to a function was not in the correct format or in the specified range.";
const char* const kTextInvalidArgument = "Invalid argument";
const char* const kTextUnsupportedType = "Unsupported variant type.";
const char* const kTextWrongState = "Wrong protocol or connection state for the requested transaction or request";

// The result of a host-name look-up that cannot answer at once; it is also
// the value of the text 1.0.0.0, which therefore never connects.
constexpr uint32_t kNoAddressYet = 1;
constexpr uint32_t kNotAnAddress = 0xFFFFFFFF;
constexpr int kListenBacklog = 5;
constexpr int32_t kFallbackChunk = 8192;

[[noreturn]] void Fail(int32_t number, const std::string& description, const std::string& source)
{
    throw RuntimeError(number, description, source);
}

[[noreturn]] void FailWithSocketError(int32_t code, const std::string& source)
{
    throw RuntimeError(code, GetWinsockErrorText(code), source);
}

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

// Lengths and type codes may come from a caller as any number: one beyond
// the 32-bit range stands for the nearest end of it, and a NaN for 0.
int32_t RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (rounded >= std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
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

uint32_t CNetSocket::ResolveIfHostname(const std::string& host)
{
    uint32_t address = SocketCalls::InetAddr(host);
    if (address != kNotAnAddress)
        return address;
    state_ = sckResolvingHost;
    if (!AllocLookupBuffer()) {
        state_ = sckError;
        Fail(kErrOutOfMemory, "Out of memory", "CNetSocket.ResolveIfHostname");
    }
    int32_t error = 0;
    int32_t handle = modNetSocket::RequestHostLookup(host, lookupBuffer_, this, error);
    if (handle != 0) {
        pendingLookups_.insert(handle);
    } else {
        FreeLookupBuffer();
        state_ = sckError;
        ReportError(error, "CNetSocket.ResolveIfHostname");
    }
    return kNoAddressYet;
}

void CNetSocket::PostHostLookup(int32_t handle, uint16_t error)
{
    pendingLookups_.erase(handle);
    modNetSocket::UnregisterHostLookup(handle);
    if (state_ != sckResolvingHost)
        return;
    if (error != 0) {
        FreeLookupBuffer();
        ConnectToIP(kNoAddressYet, error);
        return;
    }
    state_ = sckHostResolved;
    uint32_t address = lookupBuffer_ ? lookupBuffer_->address : 0;
    FreeLookupBuffer();
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

// The empty text binds to the wildcard address: a socket bound without an
// address listens, or sends from, every local address.
uint32_t CNetSocket::AddressFromText(const std::string& text, std::string& dotted, int32_t& error)
{
    error = 0;
    if (text.empty()) {
        dotted = "0.0.0.0";
        return 0;
    }
    uint32_t address = SocketCalls::InetAddr(text);
    if (address != kNotAnAddress) {
        dotted = text;
        return address;
    }
    error = SocketCalls::Resolve(text, address);
    if (error != 0) {
        dotted.clear();
        return kNoAddressYet;
    }
    dotted = SocketCalls::InetNtoa(address);
    return address;
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

bool CNetSocket::AllocLookupBuffer()
{
    try {
        lookupBuffer_ = std::make_shared<HostLookupBuffer>();
    } catch (const std::bad_alloc&) {
        lookupBuffer_.reset();
    }
    return lookupBuffer_ != nullptr;
}

void CNetSocket::FreeLookupBuffer()
{
    lookupBuffer_.reset();
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

void CNetSocket::CancelHostLookups()
{
    std::set<int32_t> handles = pendingLookups_;
    for (int32_t handle : handles) {
        if (!modNetSocket::CancelHostLookup(handle))
            continue;
        modNetSocket::UnregisterHostLookup(handle);
        pendingLookups_.clear();
        FreeLookupBuffer();
    }
}

std::string CNetSocket::GetLocalHostName() const
{
    std::string name;
    if (int32_t error = SocketCalls::HostName(name))
        FailWithSocketError(error, "CNetSocket.GetLocalHostName");
    return name;
}

std::string CNetSocket::GetLocalIP() const
{
    uint32_t address = 0;
    if (int32_t error = SocketCalls::Resolve(GetLocalHostName(), address))
        FailWithSocketError(error, "CNetSocket.GetLocalIP");
    return SocketCalls::InetNtoa(address);
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
    bool wasIdle = sendBuffer_.empty();
    sendBuffer_ += *bytes;
    if (wasIdle)
        FlushSendBuffer();
}

bool CNetSocket::FlushSendBuffer()
{
    return IsDatagram() ? SendBufferedDataUDP() : SendBufferedData();
}

// Sends in chunks of at most the send chunk size from an offset, and trims
// the sent bytes off the buffer once, when the flush stops.
bool CNetSocket::SendBufferedData()
{
    int32_t sentSoFar = 0;
    size_t offset = 0;
    while (offset < sendBuffer_.size()) {
        size_t remaining = sendBuffer_.size() - offset;
        size_t chunk = sendChunkSize_ > 0 ? std::min<size_t>(remaining, sendChunkSize_) : remaining;
        size_t sent = 0;
        int32_t error = SocketCalls::Send(socketHandle_, sendBuffer_.data() + offset, chunk, sent);
        if (error != 0)
            sendBuffer_.erase(0, offset);
        if (error == WSAEWOULDBLOCK) {
            // The rest goes out on the next FD_WRITE.
            if (sentSoFar > 0)
                return Raise(&EventHandlers::SendProgress, sentSoFar, static_cast<int32_t>(sendBuffer_.size()));
            return true;
        }
        if (error != 0) {
            state_ = sckError;
            return ReportError(error, "CNetSocket.SendBufferedData");
        }
        sentSoFar += static_cast<int32_t>(sent);
        if (remaining > sent) {
            offset += sent;
            continue;
        }
        sendBuffer_.clear();
        offset = 0;
        int32_t total = sentSoFar;
        sentSoFar = 0;
        if (!Raise(&EventHandlers::SendProgress, total, 0) || !Raise(&EventHandlers::SendComplete))
            return false;
    }
    return true;
}

bool CNetSocket::SendBufferedDataUDP()
{
    const std::string source = "CNetSocket.SendBufferedDataUDP";
    std::string dotted;
    int32_t error = 0;
    uint32_t address = AddressFromText(remoteHost_, dotted, error);
    if (error != 0) {
        sendBuffer_.clear();
        if (error == WSAEAFNOSUPPORT)
            FailWithSocketError(error, source);
        Fail(kErrBadArgument, kTextInvalidArgument, source);
    }
    std::string datagram;
    datagram.swap(sendBuffer_);
    size_t sent = 0;
    error = SocketCalls::SendTo(socketHandle_, datagram.data(), datagram.size(),
                                {address, static_cast<uint16_t>(remotePort_)}, sent);
    if (error == WSAEWOULDBLOCK)
        FailWithSocketError(error, source);
    if (error != 0) {
        state_ = sckError;
        return ReportError(error, source);
    }
    return true;
}

void CNetSocket::ReceiveStream()
{
    const size_t room = ReceiveRoom();
    if (room == 0) {
        receiveDeferred_ = true;
        return;
    }
    if (RecvDataToBuffer(room) < 1)
        return;
    Raise(&EventHandlers::DataArrival, static_cast<int32_t>(recvBuffer_.size()));
}

// The handler may read the datagram or leave it; either way the next one
// is announced only after this one has gone.
void CNetSocket::ReceiveDatagram()
{
    int32_t pending = GetPendingBytes();
    if (pending > 0 && !Raise(&EventHandlers::DataArrival, pending))
        return;
    DiscardDatagram();
}

int32_t CNetSocket::RecvDataToBuffer(size_t room)
{
    size_t chunk = std::min<size_t>(recvChunkSize_ > 0 ? recvChunkSize_ : kFallbackChunk, room);
    if (recvScratch_.size() < chunk)
        recvScratch_.resize(chunk);
    size_t received = 0;
    if (int32_t error = SocketCalls::Recv(socketHandle_, recvScratch_.data(), chunk, received)) {
        state_ = sckError;
        FailWithSocketError(error, "CNetSocket.RecvDataToBuffer");
    }
    recvBuffer_.append(recvScratch_.data(), received);
    return static_cast<int32_t>(received);
}

void CNetSocket::GetData(NetVariant& data, NetVariant* varType, NetVariant* maxLen)
{
    CheckReceiveState("CNetSocket.GetData", true);
    ReceiveInto(data, false, varType, maxLen, "CNetSocket.GetData");
    ResumeDeferredReceive();
}

void CNetSocket::GetData(NetVariant& data, int32_t varType)
{
    NetVariant type = varType;
    GetData(data, &type);
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
    ReceiveInto(data, true, varType, maxLen, "CNetSocket.PeekData");
}

void CNetSocket::PeekData(NetVariant& data, int32_t varType)
{
    NetVariant type = varType;
    PeekData(data, &type);
}

void CNetSocket::SetReceiveLimit(int32_t bytes)
{
    receiveLimit_ = bytes;
    ResumeDeferredReceive();
}

void CNetSocket::CloseSend()
{
    if (IsDatagram() || state_ != sckConnected || !sendBuffer_.empty())
        Fail(kErrInvalidOperation, kTextInvalidOperation, "CNetSocket.CloseSend");
    if (int32_t error = SocketCalls::ShutdownSend(socketHandle_))
        FailWithSocketError(error, "CNetSocket.CloseSend");
}

size_t CNetSocket::ReceiveRoom() const
{
    if (receiveLimit_ < 0)
        return std::numeric_limits<size_t>::max();
    const size_t limit = static_cast<size_t>(receiveLimit_);
    return recvBuffer_.size() < limit ? limit - recvBuffer_.size() : 0;
}

// The platform announces the bytes it holds again once there is room.
void CNetSocket::ResumeDeferredReceive()
{
    if (!receiveDeferred_ || ReceiveRoom() == 0 || state_ != sckConnected)
        return;
    receiveDeferred_ = false;
    modNetSocket::RenewReadNotification(socketHandle_);
}

void CNetSocket::CheckReceiveState(const std::string& source, bool holderMayRead) const
{
    bool ready = IsDatagram() ? state_ == sckOpen : state_ == sckConnected || (holderMayRead && acceptHolder_);
    if (!ready)
        Fail(kErrWrongState, kTextWrongState, source);
}

void CNetSocket::ReceiveInto(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen,
                             const std::string& source)
{
    if (IsDatagram() && GetPendingBytes() == 0)
        return;
    if (maxLen && !maxLen->IsNumeric())
        *maxLen = Available();
    else if (maxLen && maxLen->ToNumber() < 0)
        Fail(kErrBadArgument, kTextOutOfRange, source);
    RecvData(data, peek, varType, maxLen);
}

int32_t CNetSocket::RecvData(NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen)
{
    const int32_t available = Available();
    int32_t wanted = vbByteArray;
    if (!data.IsEmpty()) {
        wanted = data.VarType();
        if (varType)
            *varType = wanted;
    } else if (varType) {
        wanted = varType->IsNumeric() ? RoundHalfEven(varType->ToNumber()) : vbEmpty;
    }
    size_t count = 0;
    if (wanted == vbString || wanted == vbByteArray) {
        int32_t limit = maxLen ? RoundHalfEven(maxLen->ToNumber()) : available;
        if (limit == 0 || available == 0) {
            data = NetVariant::ByteArray();
            if (maxLen && IsDatagram()) {
                DiscardDatagram();
                FailWithSocketError(WSAEMSGSIZE, "CNetSocket.RecvData");
            }
            return 0;
        }
        count = std::min(limit, available);
    } else if (size_t size = NetVariant::FixedSize(wanted)) {
        if (static_cast<size_t>(available) < size)
            return 0;
        count = size;
    } else {
        Fail(kErrUnsupportedType, kTextUnsupportedType, "CNetSocket.RecvData");
    }
    int32_t error = 0;
    std::string taken = TakeBytes(count, peek, error);
    data = NetVariant::FromBytes(wanted, taken);
    if (error != 0)
        FailWithSocketError(error, "CNetSocket.RecvData");
    return static_cast<int32_t>(taken.size());
}

std::string CNetSocket::TakeBytes(size_t count, bool peek, int32_t& error)
{
    if (!IsDatagram()) {
        std::string bytes = recvBuffer_.substr(0, count);
        if (!peek)
            recvBuffer_.erase(0, count);
        return bytes;
    }
    std::string bytes(count, '\0');
    size_t received = 0;
    SocketCalls::Address sender;
    error = SocketCalls::RecvFrom(socketHandle_, bytes.data(), count, peek, received, sender);
    if (error == 0 || error == WSAEMSGSIZE) {
        remotePort_ = sender.port;
        remoteHostIP_ = SocketCalls::InetNtoa(sender.address);
    }
    return bytes;
}

int32_t CNetSocket::Available() const
{
    return IsDatagram() ? GetPendingBytes() : static_cast<int32_t>(recvBuffer_.size());
}

int32_t CNetSocket::GetPendingBytes() const
{
    int32_t count = 0;
    return SocketCalls::PendingBytes(socketHandle_, count) == 0 ? count : 0;
}

void CNetSocket::DiscardDatagram()
{
    char scratch = 0;
    size_t received = 0;
    SocketCalls::Recv(socketHandle_, &scratch, 1, received);
}
