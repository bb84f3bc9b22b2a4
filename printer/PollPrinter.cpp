#include "printer/PollPrinter.h"

#include "runtime/ResumeNext.h"
#include "printer/PrinterContext.h"
#include "printer/CommandExchange.h"
#include "printer/DecodeStatus.h"
#include "printer/NetworkTransport.h"
#include "printer/PrinterLink.h"
#include "printer/SerialTransport.h"
#include "platform/UsbLibrary.h"

#include <exception>

namespace {

// Stores a good answer and has it decoded.
bool Accept(PrinterContext& context, int16_t index, const std::string& answer, bool& answered)
{
    answered = true;
    context.PrinterTable.at(static_cast<size_t>(index)).StatusBytes = answer.substr(0, 4);
    StatusRecord record{};
    for (size_t i = 0; i < 3; ++i)
        record[i] = static_cast<uint8_t>(answer[i]);
    return DecodeStatus(record, index, context);
}

// Open, read, close, then store and decode. Every device opened is closed
// once, whatever failed in between.
bool PollUsb(PrinterContext& context, int16_t index, bool& answered)
{
    UsbLibrary& library = *context.Zorvadev;
    std::string buffer(UsbLibrary::kBufferSize, ' ');
    int32_t value = 0;
    const int32_t device = library.OpenDevice();
    int32_t status = 0;
    try {
        status = library.GetSpecStatus(device, buffer, 8, value);
    } catch (const std::exception&) {
        ResumeNext([&] { library.CloseDevice(device); });
        throw;
    }
    library.CloseDevice(device);
    if ((status & 0xFFFF) == 0)
        return false;
    return Accept(context, index, buffer, answered);
}

bool IsGoodReply(const std::string& reply)
{
    return reply.size() > 3 && reply[3] == kReplyTerminator;
}

// Opens the link, asks for the status and takes a good answer; the caller
// closes the link.
bool PollOverLink(PrinterContext& context, int16_t index, int16_t port, bool& answered)
{
    // Whatever an earlier poll or exchange left open is closed first.
    CloseLink(context);
    if (port == 0)
        ConnectPrinter(context, index);
    else
        SetCom(context, index);
    if (!context.LinkOpen)
        return false;
    const std::string reply = SendAndWait(context, kStatusCommand, std::string(1, kReplyTerminator), kReplyTimeoutSeconds);
    if (!IsGoodReply(reply))
        return false;
    return Accept(context, index, reply, answered);
}

}  // namespace

bool PollPrinter(PrinterContext& context, int16_t index)
{
    bool result = false;
    bool answered = false;
    int16_t port = 1;
    ResumeNext([&] {
        port = context.PrinterTable.at(static_cast<size_t>(index)).Port;
        result = port < 0 ? PollUsb(context, index, answered) : PollOverLink(context, index, port, answered);
    });
    // The link is closed whatever happened; for a USB printer this finds no
    // serial port open.
    ResumeNext([&] {
        if (port == 0)
            CloseSocket(context);
        else
            ClosePort(context);
    });
    if (context.PollEnded)
        context.PollEnded(index, answered, result);
    return result;
}
