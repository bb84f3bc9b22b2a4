#pragma once

#include <cstdint>
#include <string>

// The fields of the command/response exchange and of the terminal log. The
// printer context holds one set (PrinterContext::Exchange) for all printers, since
// only one printer link is open at a time; CommandExchange and TerminalLog
// work on it, on the user-interface thread. Texts are byte strings, one
// character per byte.
struct ExchangeState {
    // Bytes queued for sending: AddData appends, a finished send empties.
    std::string SendBuffer;
    // Guards against nested use while events are pumped.
    bool Sending = false;
    bool WaitingReply = false;
    bool Receiving = false;
    // The terminator of the awaited reply.
    std::string ReplyEnd;
    // Bytes gathered since the exchange began, at most the last 1024.
    std::string Reply;
    // 27 ends a waiting exchange early.
    int16_t AbortCode = 0;
    // The received byte being handled; the terminal log rewrites it.
    std::string RxChar;
    // Rendered text waiting for PostTerminal.
    std::string TerminalText;
    // A carriage return arrived; the next byte tells what it meant.
    bool PendingCR = false;
};
