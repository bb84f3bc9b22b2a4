// Reply gathering and terminal rendering: received bytes from the input go
// through ProcessRxChar one at a time, the way both receive handlers feed
// it, while exchanges begin and end, the rendered text is handed over and
// the caret of the terminal box moves, all as the input says. Checked after
// every byte: the reply never passes its cap and is always the latest bytes
// of its exchange, an exchange ends on the first terminator, rendered text
// holds no NUL, escape or lone carriage return, and the box only ever loses
// the contents of one line, and never on the line feed of a CR LF.
//
// Input: the box's starting text, then commands: begin an exchange with a
// terminator of up to three bytes, end it, hand the rendered text over,
// move the caret, or receive a run of bytes.
#include "core/frmMain.h"
#include "fuzz/FuzzApplication.h"
#include "printer/CommandExchange.h"
#include "printer/TerminalLog.h"
#include "support/TempDir.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QPlainTextEdit>
#include <QTextCursor>
#include <memory>
#include <string>

namespace {

frmMain& TheForm()
{
    static frmMain* form = new frmMain("/nonexistent/StatusMonitorQ62m.ini");
    return *form;
}

// Whether `after` is `before` less one contiguous stretch without a line
// break: the erasure of (part of) one line.
bool LostAtMostOneLine(const QString& before, const QString& after)
{
    if (after == before)
        return true;
    if (after.size() > before.size())
        return false;
    qsizetype prefix = 0;
    while (prefix < after.size() && after[prefix] == before[prefix])
        ++prefix;
    const qsizetype removed = before.size() - after.size();
    return before.mid(prefix + removed) == after.mid(prefix) && !before.mid(prefix, removed).contains('\n');
}

struct Exchange {
    std::string fed;  // every byte received since the exchange began
};

void CheckReply(const ExchangeState& state, const Exchange& exchange, bool wasWaiting)
{
    if (state.Reply.size() > kReplyLimit)
        FuzzFailure("the reply passed its cap");
    if (!wasWaiting)
        return;
    if (exchange.fed.size() < state.Reply.size()
        || exchange.fed.compare(exchange.fed.size() - state.Reply.size(), std::string::npos, state.Reply) != 0)
        FuzzFailure("the reply is not the latest bytes of its exchange");
    const size_t found = state.Reply.find(state.ReplyEnd);
    if (!state.WaitingReply && found == std::string::npos)
        FuzzFailure("the exchange ended without its terminator");
    if (state.WaitingReply && found != std::string::npos)
        FuzzFailure("the terminator arrived and the exchange still waits");
    if (!state.WaitingReply && found + state.ReplyEnd.size() != state.Reply.size()
        && !(state.ReplyEnd.empty() && state.Reply.size() == 1))
        FuzzFailure("the reply goes on past its first terminator");
}

void CheckRendered(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0' || text[i] == '\x1B')
            FuzzFailure("a NUL or escape reached the terminal text");
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))
            FuzzFailure("a carriage return without its line feed reached the terminal text");
    }
}

void Receive(frmMain& form, const std::string& bytes, Exchange& exchange)
{
    ExchangeState& state = form.Exchange;
    for (char byte : bytes) {
        const bool wasWaiting = state.WaitingReply;
        if (wasWaiting)
            exchange.fed += byte;
        const QString box = form.Text1->toPlainText();
        const bool crlf = state.PendingCR && byte == '\n';
        state.RxChar = std::string(1, byte);
        ProcessRxChar(form);
        CheckReply(state, exchange, wasWaiting);
        CheckRendered(state.TerminalText);
        if (!LostAtMostOneLine(box, form.Text1->toPlainText()))
            FuzzFailure("the terminal box changed other than by losing one line");
        if (crlf && form.Text1->toPlainText() != box)
            FuzzFailure("a line feed after a carriage return erased a line");
    }
}

void MoveCaret(QPlainTextEdit& box, int position)
{
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(std::min(position, static_cast<int>(box.document()->characterCount()) - 1));
    box.setTextCursor(cursor);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    TheForm();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    frmMain& form = TheForm();
    form.Exchange = ExchangeState{};
    FuzzedDataProvider input(data, size);
    form.Text1->setPlainText(QString::fromLatin1(input.ConsumeRandomLengthString(200)));
    MoveCaret(*form.Text1, input.ConsumeIntegralInRange(0, 250));

    Exchange exchange;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            form.Exchange.ReplyEnd = input.ConsumeRandomLengthString(3);
            form.Exchange.Reply.clear();
            form.Exchange.WaitingReply = true;
            exchange = Exchange{};
            break;
        case 1:
            form.Exchange.WaitingReply = false;
            form.Exchange.Reply.clear();
            break;
        case 2:
            PostTerminal(form, form.Exchange.TerminalText);
            form.Exchange.TerminalText.clear();
            break;
        case 3:
            MoveCaret(*form.Text1, input.ConsumeIntegralInRange(0, 250));
            break;
        default:
            Receive(form, input.ConsumeRandomLengthString(300), exchange);
            break;
        }
    }
    return 0;
}
