#include "fuzz/FuzzPeer.h"

#include "support/StatusClient.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

FuzzPeer::FuzzPeer(int32_t port) : fd_(ConnectLoopback(port))
{
}

FuzzPeer::~FuzzPeer()
{
    if (fd_ >= 0)
        close(fd_);
}

bool FuzzPeer::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

std::string FuzzPeer::ReadAvailable()
{
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
}
