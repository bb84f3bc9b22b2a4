#pragma once

#include "runtime/PrinterProtocol.h"
#include "tools/printer-sim/HexText.h"

#include <cstddef>

// The status request a Q62M answers.
inline const Bytes kStatusRequest(PrinterProtocol::kStatusRequest.begin(), PrinterProtocol::kStatusRequest.end());

// Finds the status requests in the byte stream of one client. Everything
// else the client sends comes back as ignored pieces, in order, so that the
// log shows every byte. A request split across reads is held back until its
// last byte arrives. Owned by a ClientConnection.
class RequestScanner {
public:
    struct Piece {
        bool request = false;
        Bytes bytes;
    };

    std::vector<Piece> Feed(const uint8_t* data, size_t length);

private:
    bool PartialIsRequestStart() const;

    Bytes partial_;
};
