#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ByteList = std::vector<uint8_t>;

// The status request a monitor sends.
inline const ByteList kRequest = {0x1D, 0x61, 0x01};

// What a client got back within its wait.
struct Received {
    ByteList bytes;
    bool closed = false;  // the simulator ended the connection
    int elapsedMs = 0;    // from the start of the wait to the last byte or the end
};

// A test's side of one simulated printer link: a TCP connection to a
// loopback port or a pseudo-terminal opened as a monitor opens a serial
// device. Owns the descriptor.
class TestClient {
public:
    static TestClient Tcp(uint16_t port);
    static TestClient Pty(const std::string& path);
    TestClient(TestClient&& other) noexcept;
    ~TestClient();

    // False when the connection was refused or the device could not be opened.
    bool Open() const { return fd_ >= 0; }
    int ConnectError() const { return error_; }

    void Send(const ByteList& bytes);
    // Reads until `count` bytes came, the link closed or `timeoutMs` passed.
    Received Receive(size_t count, int timeoutMs = 2000);
    // Sends one status request and waits for a four-byte answer.
    Received Poll(int timeoutMs = 2000);
    void Close();

private:
    TestClient(int fd, int error) : fd_(fd), error_(error) {}

    int fd_;
    int error_;
};

ByteList Hex(const std::string& text);
