#pragma once

#include "runtime/PrinterProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

class PrinterContext;

// The command/response exchange over whichever printer link is open: a
// command is queued and sent, the reply is gathered byte by byte by the
// receive handlers while SendAndWait waits, pumping events, for its
// terminator. It works on the printer context's Exchange fields, on the
// user-interface thread; PollPrinter runs one exchange per poll.

// The status request and the end of its answer.
inline const std::string kStatusCommand(PrinterProtocol::kStatusRequest);
constexpr char kReplyTerminator = PrinterProtocol::kAnswerEnd;
constexpr float kReplyTimeoutSeconds = 5.0f;

// AbortCode that ends a waiting exchange at its next pass.
constexpr int16_t kAbortExchange = 27;
// A reply keeps at most its last this many bytes.
constexpr size_t kReplyLimit = 1024;

// Queues `bytes` behind whatever is queued; sends nothing.
void AddData(PrinterContext& context, const std::string& bytes);

// Sends everything queued over the open link. Over the serial port it
// returns once the port's output has drained. A vanished device (error
// 8021) drops the queue, aborts a waiting exchange and closes the link;
// any other failed write is skipped. A nested call returns at once.
void SendData(PrinterContext& context);

// Sends `command` and gathers the reply up to the first `terminator`
// (empty: the first byte ends it), waiting more than `timeoutSeconds`
// after the send only if no reply completes. Returns the reply, or empty
// text after a time-out or an abort, or at once when another exchange is
// already waiting.
std::string SendAndWait(PrinterContext& context, const std::string& command, const std::string& terminator,
                        float timeoutSeconds);

// The receive event of MSComm1: every byte waiting in the port goes through
// ProcessRxChar, then the rendered terminal text is handed over.
void MSComm1_OnComm(PrinterContext& context);

// The data event of the printer socket Winsock1: everything received goes
// through ProcessRxChar, byte by byte, then the rendered terminal text is
// handed over. Errors are cleared.
void Winsock1_DataArrival(PrinterContext& context, int32_t bytesTotal);

// Handles one received byte, which the caller has put in Exchange.RxChar:
// gathers it into the reply while an exchange waits, then renders it for
// the terminal log. Both receive handlers feed it byte by byte.
void ProcessRxChar(PrinterContext& context);
