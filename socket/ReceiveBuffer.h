#pragma once

#include "socket/NetVariant.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a socket has received and its owner not yet read, and the rules of
// reading it. A TCP connection's bytes are held here, at most as many as the
// owner's limit; a UDP socket's next datagram stays with the platform until
// it is read or discarded. A read takes the variant type and the length the
// caller asks for: a text or byte array of at most the length, or a number
// of fixed size once that many bytes are there. Owned by CNetSocket, which
// hands it the platform socket at each call that reaches the platform.
class ReceiveBuffer {
public:
    // Where the sender of a datagram that was read is told.
    struct Sender {
        int32_t& port;
        std::string& dotted;
    };

    size_t Size() const { return bytes_.size(); }
    void Append(const std::string& bytes) { bytes_ += bytes; }
    // Forgets the bytes and a deferred read; the limit stays.
    void Clear();

    // The most bytes held; negative for no limit.
    void SetLimit(int32_t bytes) { limit_ = bytes; }

    // Takes what the platform holds for a TCP socket, at most one chunk and
    // the room under the limit; 0 or the Windows Sockets error. Without room
    // nothing is read and the read is deferred.
    int32_t Fill(int32_t socket, int32_t chunkSize, size_t& received);
    // True, once, when a deferred read has room again: the platform must
    // then announce the bytes it holds anew.
    bool ResumeDeferred();

    // Bytes a read can take: those held, or the size of the next datagram.
    int32_t Available(int32_t socket, bool datagram) const;
    static int32_t PendingDatagram(int32_t socket);
    static void DiscardDatagram(int32_t socket);

    // A GetData (peek false) or PeekData: fills `data` as asked, or leaves it
    // when a number's bytes are not all there yet. Failures are run-time
    // errors of `source` or of CNetSocket.RecvData.
    void Read(int32_t socket, bool datagram, NetVariant& data, bool peek, NetVariant* varType, NetVariant* maxLen,
              const std::string& source, const Sender& sender);

private:
    size_t Room() const;
    std::string Take(int32_t socket, bool datagram, size_t count, bool peek, const Sender& sender, int32_t& error);

    std::string bytes_;
    int32_t limit_ = -1;
    // A read found no room: the platform holds bytes not yet announced.
    bool deferred_ = false;
    std::vector<char> scratch_;
};
