#include "platform/SocketCalls.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QString>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// Windows Sockets numbers that this file produces by name.
constexpr int32_t kNonrecoverable = 11003;
constexpr int32_t kNoData = 11004;
constexpr int32_t kHostNotFound = 11001;
constexpr int32_t kTryAgain = 11002;
constexpr int32_t kNoBuffers = 10055;
constexpr int32_t kInvalidArgument = 10022;

// Linux has no option for the largest datagram; this is the largest UDP
// payload that IPv4 can carry.
constexpr int32_t kLargestDatagram = 65507;

constexpr size_t kCallKinds = static_cast<size_t>(SocketCalls::Call::CancelLookup) + 1;
// The error the next call of each kind fails with; 0 for none.
std::array<int32_t, kCallKinds> failures{};
SocketCalls::Observer observer;

// Consumes the injected failure of `call`, if a test asked for one.
int32_t InjectedFailure(SocketCalls::Call call)
{
    return std::exchange(failures[static_cast<size_t>(call)], 0);
}

void Observe(SocketCalls::Call call, int32_t handle, int32_t error, int32_t result = 0)
{
    if (observer)
        observer(call, handle, error, result);
}

int32_t LastError()
{
    return SocketCalls::FromErrno(errno);
}

sockaddr_in ToSockaddr(const SocketCalls::Address& from)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(from.port);
    address.sin_addr.s_addr = from.address;
    return address;
}

SocketCalls::Address FromSockaddr(const sockaddr_in& from)
{
    return {from.sin_addr.s_addr, ntohs(from.sin_port)};
}

// getsockname and getpeername alike.
int32_t ReadName(int (*query)(int, sockaddr*, socklen_t*), int32_t handle, SocketCalls::Address& name)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (query(handle, reinterpret_cast<sockaddr*>(&address), &length) == -1)
        return LastError();
    name = FromSockaddr(address);
    return 0;
}

bool IsNonBlocking(int handle)
{
    int flags = fcntl(handle, F_GETFL);
    return flags != -1 && (flags & O_NONBLOCK);
}

int OptionName(SocketCalls::Option option)
{
    switch (option) {
    case SocketCalls::Option::ReceiveBuffer:
        return SO_RCVBUF;
    case SocketCalls::Option::SendBuffer:
        return SO_SNDBUF;
    case SocketCalls::Option::Broadcast:
        return SO_BROADCAST;
    case SocketCalls::Option::ReuseAddress:
        return SO_REUSEADDR;
    case SocketCalls::Option::ReusePort:
        return SO_REUSEPORT;
    case SocketCalls::Option::MaxMessageSize:
        break;
    }
    return -1;
}

int32_t FromLookupError(QHostInfo::HostInfoError error)
{
    switch (error) {
    case QHostInfo::NoError:
        return 0;
    case QHostInfo::HostNotFound:
        return kHostNotFound;
    case QHostInfo::UnknownError:
        break;
    }
    return kNonrecoverable;
}

bool FirstIPv4(const QHostInfo& info, uint32_t& address)
{
    for (const QHostAddress& candidate : info.addresses()) {
        bool isIPv4 = false;
        quint32 hostOrder = candidate.toIPv4Address(&isIPv4);
        if (isIPv4) {
            address = htonl(hostOrder);
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t SocketCalls::FromErrno(int error)
{
    switch (error) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return kInvalidArgument;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
    // A non-blocking connect, the only call that reports EINPROGRESS, is a
    // would-block on Windows sockets.
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
    case EBADF:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    // Linux reports a send to a peer that has gone as a broken pipe;
    // Windows sockets call it a reset.
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return kNoBuffers;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return 10065;
    }
    return kNonrecoverable;
}

int32_t SocketCalls::FromResolver(int result)
{
    switch (result) {
    case 0:
        return 0;
    case EAI_NONAME:
        return kHostNotFound;
    case EAI_AGAIN:
        return kTryAgain;
    case EAI_FAIL:
        return kNonrecoverable;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return kNoData;
    case EAI_MEMORY:
        return kNoBuffers;
    case EAI_FAMILY:
        return WSAEAFNOSUPPORT;
    case EAI_SYSTEM:
        return FromErrno(errno);
    }
    return kNonrecoverable;
}

int32_t SocketCalls::Startup()
{
    return InjectedFailure(Call::Startup);
}

int32_t SocketCalls::Cleanup()
{
    return InjectedFailure(Call::Cleanup);
}

int32_t SocketCalls::Create(bool datagram, int32_t& handle)
{
    if (int32_t error = InjectedFailure(Call::Create))
        return error;
    int type = (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC;
    int created = socket(AF_INET, type, datagram ? IPPROTO_UDP : IPPROTO_TCP);
    if (created == -1)
        return LastError();
    handle = created;
    return 0;
}

int32_t SocketCalls::Close(int32_t handle)
{
    int32_t error = InjectedFailure(Call::Close);
    if (error == 0 && close(handle) == -1)
        error = LastError();
    Observe(Call::Close, handle, error);
    return error;
}

int32_t SocketCalls::ShutdownSend(int32_t handle)
{
    if (int32_t error = InjectedFailure(Call::Shutdown))
        return error;
    return shutdown(handle, SHUT_WR) == -1 ? LastError() : 0;
}

// A connect to no address at all (AF_UNSPEC) takes a listening socket out of
// the listening state without releasing the port it was bound to.
int32_t SocketCalls::StopListening(int32_t handle)
{
    int32_t error = InjectedFailure(Call::StopListening);
    if (error == 0) {
        sockaddr none{};
        none.sa_family = AF_UNSPEC;
        if (connect(handle, &none, sizeof none) == -1)
            error = LastError();
    }
    Observe(Call::StopListening, handle, error);
    return error;
}

int32_t SocketCalls::Bind(int32_t handle, const Address& local)
{
    if (int32_t error = InjectedFailure(Call::Bind))
        return error;
    sockaddr_in address = ToSockaddr(local);
    if (bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == -1)
        return LastError();
    return 0;
}

int32_t SocketCalls::Listen(int32_t handle, int backlog)
{
    int32_t error = InjectedFailure(Call::Listen);
    if (error == 0 && listen(handle, backlog) == -1)
        error = LastError();
    Observe(Call::Listen, handle, error);
    return error;
}

int32_t SocketCalls::Accept(int32_t handle, int32_t& accepted)
{
    int32_t error = InjectedFailure(Call::Accept);
    int created = -1;
    if (error == 0) {
        int flags = SOCK_CLOEXEC | (IsNonBlocking(handle) ? SOCK_NONBLOCK : 0);
        created = accept4(handle, nullptr, nullptr, flags);
        if (created == -1)
            error = LastError();
    }
    if (error == 0)
        accepted = created;
    Observe(Call::Accept, handle, error, created);
    return error;
}

int32_t SocketCalls::Connect(int32_t handle, const Address& remote)
{
    int32_t error = InjectedFailure(Call::Connect);
    if (error == 0) {
        sockaddr_in address = ToSockaddr(remote);
        if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == -1)
            error = LastError();
    }
    Observe(Call::Connect, handle, error);
    return error;
}

int32_t SocketCalls::Send(int32_t handle, const char* data, size_t length, size_t& sent)
{
    int32_t error = InjectedFailure(Call::Send);
    if (error == 0) {
        ssize_t n = send(handle, data, length, MSG_NOSIGNAL);
        if (n == -1)
            error = LastError();
        else
            sent = static_cast<size_t>(n);
    }
    Observe(Call::Send, handle, error);
    return error;
}

int32_t SocketCalls::SendTo(int32_t handle, const char* data, size_t length, const Address& to, size_t& sent)
{
    int32_t error = InjectedFailure(Call::SendTo);
    if (error == 0) {
        sockaddr_in address = ToSockaddr(to);
        ssize_t n = sendto(handle, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                           sizeof address);
        if (n == -1)
            error = LastError();
        else
            sent = static_cast<size_t>(n);
    }
    Observe(Call::SendTo, handle, error);
    return error;
}

int32_t SocketCalls::Recv(int32_t handle, char* buffer, size_t length, size_t& received)
{
    int32_t error = InjectedFailure(Call::Recv);
    if (error == 0) {
        ssize_t n = recv(handle, buffer, length, 0);
        if (n == -1)
            error = LastError();
        else
            received = static_cast<size_t>(n);
    }
    Observe(Call::Recv, handle, error);
    return error;
}

int32_t SocketCalls::RecvFrom(int32_t handle, char* buffer, size_t length, bool peek, size_t& received,
                              Address& from)
{
    int32_t error = InjectedFailure(Call::RecvFrom);
    if (error == 0) {
        sockaddr_in sender{};
        iovec part{buffer, length};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        ssize_t n = recvmsg(handle, &message, peek ? MSG_PEEK : 0);
        if (n == -1) {
            error = LastError();
        } else {
            received = static_cast<size_t>(n);
            from = FromSockaddr(sender);
            if (message.msg_flags & MSG_TRUNC)
                error = WSAEMSGSIZE;
        }
    }
    Observe(Call::RecvFrom, handle, error);
    return error;
}

int32_t SocketCalls::GetOption(int32_t handle, Option option, int32_t& value)
{
    if (int32_t error = InjectedFailure(Call::GetOption))
        return error;
    if (option == Option::MaxMessageSize) {
        value = kLargestDatagram;
        return 0;
    }
    int read = 0;
    socklen_t length = sizeof read;
    if (getsockopt(handle, SOL_SOCKET, OptionName(option), &read, &length) == -1)
        return LastError();
    value = read;
    return 0;
}

int32_t SocketCalls::SetOption(int32_t handle, Option option, int32_t value)
{
    if (int32_t error = InjectedFailure(Call::SetOption))
        return error;
    int written = value;
    if (option == Option::MaxMessageSize)
        return 10042;
    if (setsockopt(handle, SOL_SOCKET, OptionName(option), &written, sizeof written) == -1)
        return LastError();
    return 0;
}

int32_t SocketCalls::SetNonBlocking(int32_t handle)
{
    if (int32_t error = InjectedFailure(Call::NonBlocking))
        return error;
    int flags = fcntl(handle, F_GETFL);
    if (flags == -1 || fcntl(handle, F_SETFL, flags | O_NONBLOCK) == -1)
        return LastError();
    return 0;
}

int32_t SocketCalls::PendingBytes(int32_t handle, int32_t& count)
{
    if (int32_t error = InjectedFailure(Call::PendingBytes))
        return error;
    int pending = 0;
    if (ioctl(handle, FIONREAD, &pending) == -1)
        return LastError();
    count = pending;
    return 0;
}

int32_t SocketCalls::LocalName(int32_t handle, Address& local)
{
    if (int32_t error = InjectedFailure(Call::LocalName))
        return error;
    return ReadName(getsockname, handle, local);
}

int32_t SocketCalls::PeerName(int32_t handle, Address& peer)
{
    if (int32_t error = InjectedFailure(Call::PeerName))
        return error;
    return ReadName(getpeername, handle, peer);
}

int32_t SocketCalls::HostName(std::string& name)
{
    if (int32_t error = InjectedFailure(Call::HostName))
        return error;
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) == -1)
        return LastError();
    name = buffer;
    return 0;
}

int32_t SocketCalls::Resolve(const std::string& name, uint32_t& address)
{
    if (int32_t error = InjectedFailure(Call::Resolve))
        return error;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result != 0)
        return FromResolver(result);
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 0;
}

namespace {

// Look-ups under way, each with the flag that cancels its completion. Qt
// 6.4 never frees the completion of a look-up aborted with
// QHostInfo::abortHostLookup, so a cancelled look-up runs to its end and
// its completion, told that it was cancelled, does nothing.
std::map<int32_t, std::shared_ptr<bool>>& Lookups()
{
    static std::map<int32_t, std::shared_ptr<bool>> lookups;
    return lookups;
}

}  // namespace

int32_t SocketCalls::StartLookup(const std::string& name, QObject* context, LookupDone done, int32_t& id)
{
    if (int32_t error = InjectedFailure(Call::StartLookup))
        return error;
    auto cancelled = std::make_shared<bool>(false);
    id = QHostInfo::lookupHost(QString::fromLatin1(name.c_str()), context,
                               [done = std::move(done), cancelled](const QHostInfo& info) {
                                   Lookups().erase(info.lookupId());
                                   if (*cancelled)
                                       return;
                                   uint32_t address = 0;
                                   int32_t error = FromLookupError(info.error());
                                   if (error == 0 && !FirstIPv4(info, address))
                                       error = kNoData;
                                   done(error, address);
                               });
    Lookups()[id] = cancelled;
    return 0;
}

int32_t SocketCalls::CancelLookup(int32_t id)
{
    if (int32_t error = InjectedFailure(Call::CancelLookup))
        return error;
    auto lookup = Lookups().find(id);
    if (lookup != Lookups().end()) {
        *lookup->second = true;
        Lookups().erase(lookup);
    }
    return 0;
}

SocketCalls::Readiness SocketCalls::Probe(int32_t handle, int32_t& error)
{
    char byte = 0;
    ssize_t n = recv(handle, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return Readiness::Data;
    if (n == 0)
        return Readiness::EndOfStream;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return Readiness::Nothing;
    error = LastError();
    return Readiness::Failed;
}

int32_t SocketCalls::PendingError(int32_t handle)
{
    int pending = 0;
    socklen_t length = sizeof pending;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &pending, &length) == -1)
        return LastError();
    return FromErrno(pending);
}

bool SocketCalls::IsDatagram(int32_t handle)
{
    int type = 0;
    socklen_t length = sizeof type;
    return getsockopt(handle, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_DGRAM;
}

uint32_t SocketCalls::InetAddr(const std::string& text)
{
    return inet_addr(text.c_str());
}

std::string SocketCalls::InetNtoa(uint32_t address)
{
    in_addr value{};
    value.s_addr = address;
    return inet_ntoa(value);
}

void SocketCalls::FailNext(Call call, int32_t error)
{
    failures[static_cast<size_t>(call)] = error;
}

void SocketCalls::ClearFailures()
{
    failures.fill(0);
}

void SocketCalls::SetObserver(Observer newObserver)
{
    observer = std::move(newObserver);
}
