#include "printer/PollPrinter.h"

#include "runtime/ResumeNext.h"
#include "core/frmMain.h"
#include "printer/CommandExchange.h"
#include "printer/DecodeStatus.h"
#include "printer/NetworkTransport.h"
#include "printer/SerialTransport.h"
#include "platform/UsbLibrary.h"

#include <exception>

namespace {

// Stores a good answer and has it decoded.
bool Accept(frmMain& form, int16_t index, const std::string& answer, bool& answered)
{
    answered = true;
    form.PrinterTable.at(static_cast<size_t>(index)).StatusBytes = answer.substr(0, 4);
    StatusRecord record{};
    for (size_t i = 0; i < 3; ++i)
        record[i] = static_cast<uint8_t>(answer[i]);
    return DecodeStatus(record, index, form);
}

// Open, read, close, then store and decode. Every device opened is closed
// once, whatever failed in between.
bool PollUsb(frmMain& form, int16_t index, bool& answered)
{
    UsbLibrary& library = *form.Zorvadev;
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
    return Accept(form, index, buffer, answered);
}

bool IsGoodReply(const std::string& reply)
{
    return reply.size() > 3 && reply[3] == kReplyTerminator;
}

// Opens the link, asks for the status and takes a good answer; the caller
// closes the link.
bool PollOverLink(frmMain& form, int16_t index, int16_t port, bool& answered)
{
    if (port == 0)
        ConnectPrinter(form, index);
    else
        SetCom(form, index);
    if (!form.LinkOpen)
        return false;
    const std::string reply = SendAndWait(form, kStatusCommand, std::string(1, kReplyTerminator), kReplyTimeoutSeconds);
    if (!IsGoodReply(reply))
        return false;
    return Accept(form, index, reply, answered);
}

}  // namespace

bool PollPrinter(frmMain& form, int16_t index)
{
    bool result = false;
    bool answered = false;
    int16_t port = 1;
    ResumeNext([&] {
        port = form.PrinterTable.at(static_cast<size_t>(index)).Port;
        result = port < 0 ? PollUsb(form, index, answered) : PollOverLink(form, index, port, answered);
    });
    // The link is closed whatever happened; for a USB printer this finds no
    // serial port open.
    ResumeNext([&] {
        if (port == 0)
            CloseSocket(form);
        else
            ClosePort(form);
    });
    form.Metrics.RecordPoll(index, answered, result);
    return result;
}
