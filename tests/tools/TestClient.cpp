#include "TestClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

TestClient TestClient::Tcp(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        ::close(fd);
        return TestClient(-1, error);
    }
    return TestClient(fd, 0);
}

TestClient TestClient::Pty(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return TestClient(-1, errno);
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    return TestClient(fd, 0);
}

TestClient::TestClient(TestClient&& other) noexcept
    : fd_(other.fd_), error_(other.error_)
{
    other.fd_ = -1;
}

TestClient::~TestClient()
{
    Close();
}

void TestClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TestClient::Send(const ByteList& bytes)
{
    [[maybe_unused]] ssize_t written = ::write(fd_, bytes.data(), bytes.size());
}

Received TestClient::Receive(size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    Received received;
    auto elapsed = [&] {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    while (received.bytes.size() < count && !received.closed) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        pollfd watch{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&watch, 1, left) <= 0)
            break;
        uint8_t buffer[4096];
        size_t wanted = std::min(sizeof buffer, count - received.bytes.size());
        ssize_t got = ::read(fd_, buffer, wanted);
        if (got <= 0)
            received.closed = true;
        else
            received.bytes.insert(received.bytes.end(), buffer, buffer + got);
        received.elapsedMs = elapsed();
    }
    return received;
}

Received TestClient::Poll(int timeoutMs)
{
    Send(kRequest);
    return Receive(4, timeoutMs);
}

ByteList Hex(const std::string& text)
{
    ByteList bytes;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    return bytes;
}
