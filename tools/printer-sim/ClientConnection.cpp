#include "tools/printer-sim/ClientConnection.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

ClientConnection::ClientConnection(int fd, size_t printer, Kind kind, std::string peer)
    : fd_(fd), printer_(printer), kind_(kind), peer_(std::move(peer))
{
}

ClientConnection::~ClientConnection()
{
    ::close(fd_);
}

ClientConnection::ReadResult ClientConnection::Read()
{
    ReadResult result;
    uint8_t buffer[4096];
    ssize_t count = ::read(fd_, buffer, sizeof buffer);
    if (count > 0) {
        result.pieces = scanner_.Feed(buffer, static_cast<size_t>(count));
    } else if (count == 0) {
        result.ended = true;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        result.ended = true;
        result.error = std::string("read: ") + std::strerror(errno);
    }
    return result;
}

bool ClientConnection::Queue(const Bytes& bytes)
{
    if (output_.size() + bytes.size() > kMaxPendingOutput)
        return false;
    output_.insert(output_.end(), bytes.begin(), bytes.end());
    return true;
}

void ClientConnection::Schedule(TimePoint due, Bytes bytes)
{
    delayed_.push_back({due, std::move(bytes)});
}

std::vector<Bytes> ClientConnection::TakeDue(TimePoint now)
{
    // Every answer is held back by the same delay at the time of its
    // request, so the queue is in order of due time unless the delay was
    // shortened meanwhile; answers then still go out in request order.
    std::vector<Bytes> due;
    while (!delayed_.empty() && delayed_.front().due <= now) {
        due.push_back(std::move(delayed_.front().bytes));
        delayed_.pop_front();
    }
    return due;
}

std::optional<ClientConnection::TimePoint> ClientConnection::NextDue() const
{
    if (delayed_.empty())
        return std::nullopt;
    return delayed_.front().due;
}

bool ClientConnection::Flush()
{
    while (!output_.empty()) {
        ssize_t count = kind_ == Kind::Tcp
            ? ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
            : ::write(fd_, output_.data(), output_.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        output_.erase(output_.begin(), output_.begin() + count);
    }
    return true;
}
