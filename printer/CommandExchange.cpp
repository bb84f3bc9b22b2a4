#include "printer/CommandExchange.h"

#include "runtime/RuntimeError.h"
#include "printer/PrinterContext.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/MSComm.h"
#include "printer/NetworkTransport.h"
#include "printer/SerialTransport.h"
#include "printer/TerminalLog.h"
#include "socket/CNetSocket.h"

#include <exception>

namespace {

bool IsDeviceGone(const std::exception& error)
{
    const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
    return runtime && runtime->Number() == kErrComDCB;
}

// Runs one statement of the send under its error trap: error 8021 travels
// on and aborts the whole send; any other error skips the statement.
template <typename Statement>
void Skippable(Statement&& statement)
{
    try {
        statement();
    } catch (const std::exception& error) {
        if (IsDeviceGone(error))
            throw;
    }
}

// Whether the port still holds unsent bytes. A port that cannot tell (it
// has been closed meanwhile) holds none, so the send does not wait for it.
bool OutputPending(MSComm& comm)
{
    try {
        return comm.OutBufferCount() > 0;
    } catch (const std::exception& error) {
        if (IsDeviceGone(error))
            throw;
        return false;
    }
}

// Serial link: the buffer goes out in steps, events pumped between them,
// until it has all been written and the port's output has drained.
void SendSerial(PrinterContext& context)
{
    MSComm& comm = *context.MSComm1;
    std::string& buffer = context.Exchange.SendBuffer;
    int64_t pos = 1;
    int64_t step = 1;
    while (pos <= static_cast<int64_t>(buffer.size()) || OutputPending(comm)) {
        const auto length = static_cast<int64_t>(buffer.size());
        if (length - pos - step < 1)
            step = length - pos + 1;
        Skippable([&] { comm.SetOutput(buffer.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(step))); });
        pos += step;
        DoEvents();
    }
    buffer.clear();
}

// Over the printer socket: the whole queue at once, while it is
// connected. A socket that is not connected sends nothing and the bytes stay
// queued. The send is made once: afterwards events are pumped, and the
// unload may release the socket meanwhile.
void SendNetwork(PrinterContext& context)
{
    ExchangeState& state = context.Exchange;
    if (!context.Winsock1 || context.Winsock1->State() != sckConnected)
        return;
    Skippable([&] { context.Winsock1->SendData(NetVariant(state.SendBuffer)); });
    if (!context.QuitRequested)
        DoEvents();
    state.SendBuffer.clear();
}

// Error 8021: the device behind the link is gone. The queue is dropped, a
// waiting exchange ends at its next pass and the link is closed.
void AbortSend(PrinterContext& context)
{
    ExchangeState& state = context.Exchange;
    state.AbortCode = kAbortExchange;
    state.SendBuffer.clear();
    CloseSocket(context);
    state.Sending = false;
    ClosePort(context);
    context.LinkOpen = false;
}

// Clears Receiving however the handler ends.
class ReceivingScope {
public:
    explicit ReceivingScope(ExchangeState& state) : state_(state) { state_.Receiving = true; }
    ~ReceivingScope() { state_.Receiving = false; }
    ReceivingScope(const ReceivingScope&) = delete;
    ReceivingScope& operator=(const ReceivingScope&) = delete;

private:
    ExchangeState& state_;
};

}  // namespace

void AddData(PrinterContext& context, const std::string& bytes)
{
    context.Exchange.SendBuffer += bytes;
}

void SendData(PrinterContext& context)
{
    ExchangeState& state = context.Exchange;
    if (state.Sending)
        return;
    state.Sending = true;
    if (state.SendBuffer.empty()) {
        state.Sending = false;
        return;
    }
    try {
        if (context.MSComm1->PortOpen())
            SendSerial(context);
        else
            SendNetwork(context);
    } catch (const RuntimeError&) {
        // Only a vanished device gets this far.
        AbortSend(context);
        return;
    }
    state.Sending = false;
}

std::string SendAndWait(PrinterContext& context, const std::string& command, const std::string& terminator,
                        float timeoutSeconds)
{
    ExchangeState& state = context.Exchange;
    // Only one exchange waits at a time.
    if (state.WaitingReply)
        return {};

    // Ready to gather before the first byte goes out, so a reply that comes
    // back during the send is caught.
    state.ReplyEnd = terminator;
    state.WaitingReply = true;
    state.AbortCode = 0;

    if (!command.empty()) {
        AddData(context, command);
        SendData(context);
    }

    // The wait counts from the end of the send. The time-out is tested
    // first, so a reply completing in the pass that passes it is discarded.
    Clock& clock = CurrentClock();
    const double start = clock.Now();
    std::string result;
    for (;;) {
        if (clock.Now() - start > timeoutSeconds)
            break;
        if (!state.WaitingReply) {
            result = state.Reply;
            break;
        }
        if (state.AbortCode == kAbortExchange)
            break;
        DoEvents();
        // The sleep wakes at the next event; when the pump has just
        // completed or aborted the exchange, no event is coming for it, and
        // the next pass's tests can run at once.
        if (state.WaitingReply && state.AbortCode != kAbortExchange)
            clock.Sleep(100);
    }

    state.WaitingReply = false;
    state.Reply.clear();
    return result;
}

void MSComm1_OnComm(PrinterContext& context)
{
    MSComm& comm = *context.MSComm1;
    ExchangeState& state = context.Exchange;
    if (comm.CommEvent() != comEvReceive || state.Receiving)
        return;
    ReceivingScope receiving(state);
    // An error event stops the reading; what is left is read at the next
    // receive event.
    while (comm.CommEvent() < 1000 && comm.InBufferCount() > 0) {
        state.RxChar = comm.Input();
        ProcessRxChar(context);
    }
    PostTerminal(context, state.TerminalText);
    state.TerminalText.clear();
}

void Winsock1_DataArrival(PrinterContext& context, int32_t)
{
    ExchangeState& state = context.Exchange;
    // A nested arrival leaves its bytes in the socket for the next event.
    if (state.Receiving || !context.Winsock1)
        return;
    ReceivingScope receiving(state);
    std::string data;
    try {
        context.Winsock1->GetData(data);
    } catch (const RuntimeError&) {
        return;
    }
    for (char byte : data) {
        state.RxChar = std::string(1, byte);
        ProcessRxChar(context);
    }
    if (!state.TerminalText.empty()) {
        PostTerminal(context, state.TerminalText);
        state.TerminalText.clear();
    }
}

void ProcessRxChar(PrinterContext& context)
{
    ExchangeState& state = context.Exchange;
    // Bytes that arrive while no exchange waits belong to no reply.
    if (state.WaitingReply) {
        state.Reply += state.RxChar;
        if (state.Reply.find(state.ReplyEnd) != std::string::npos)
            state.WaitingReply = false;
        if (state.Reply.size() > kReplyLimit)
            state.Reply.erase(0, state.Reply.size() - kReplyLimit);
    }
    RenderRxChar(context);
}
