#include "support/StatusClient.h"

#include "platform/EventPump.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        WaitForEvents(10);
    }
    return true;
}

void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

int32_t FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    // Either option lets the server bind the port beside this socket, as
    // long as this one never listens: servers that hold their port use the
    // second.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int ConnectLoopback(int32_t port, uint32_t from)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(from);
    if (from != INADDR_LOOPBACK)
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A loopback connect to a listening socket completes from the kernel's
    // backlog, without the server's code having to run. A signal (a fuzzer's
    // watchdog, say) may interrupt it while it looks for a free local port;
    // the connection then goes on by itself and its outcome is waited for.
    int result = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (result != 0 && errno == EINTR) {
        pollfd done{fd, POLLOUT, 0};
        while (poll(&done, 1, -1) < 0 && errno == EINTR) {
        }
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        result = error == 0 ? 0 : -1;
    }
    if (result != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

StatusClient::StatusClient(int32_t port, uint32_t from) : fd_(ConnectLoopback(port, from))
{
}

StatusClient::~StatusClient()
{
    if (fd_ >= 0)
        close(fd_);
}

void StatusClient::Abort()
{
    const linger reset{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd_);
    fd_ = -1;
}

bool StatusClient::Send(const std::string& bytes)
{
    size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return fd_ >= 0;
}

// A connection that was refused fails its reads as one the server closed.
bool StatusClient::Drain(std::string& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            peerClosed_ = true;
        return !peerClosed_;
    }
}

std::string StatusClient::Receive(size_t count, int ms)
{
    std::string received;
    PumpUntil([&] { return !Drain(received) || received.size() >= count; }, ms);
    return received;
}

bool StatusClient::ClosedWithin(int ms)
{
    std::string ignored;
    return PumpUntil([&] { return !Drain(ignored); }, ms);
}
