#pragma once

#include <cstdint>
#include <string>

// The far end of a fuzzed connection: a plain TCP client on 127.0.0.1 with
// Nagle's algorithm off, so that every Send leaves at once as the chunk it
// is and the code under test reads the chunks the input describes.
class FuzzPeer {
public:
    explicit FuzzPeer(int32_t port);
    ~FuzzPeer();
    FuzzPeer(const FuzzPeer&) = delete;
    FuzzPeer& operator=(const FuzzPeer&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // Sends all of `bytes`; false when the connection has failed.
    bool Send(const std::string& bytes);
    // Whatever has arrived, without waiting.
    std::string ReadAvailable();

private:
    int fd_ = -1;
};
