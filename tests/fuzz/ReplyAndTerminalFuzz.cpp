// Received bytes through ProcessRxChar one at a time, as both receive
// handlers feed it, while exchanges begin and end, the rendered text is
// handed over and the terminal box's caret moves, all as the input says.
// After every byte: the reply never passes its cap and is the latest bytes
// of its exchange, which ends at its first terminator; rendered text holds
// no NUL, escape or lone carriage return; the box loses at most one line's
// contents, and nothing on the line feed of a CR LF.
#include "fuzz/FuzzApplication.h"
#include "printer/CommandExchange.h"
#include "printer/PrinterContext.h"
#include "printer/TerminalLog.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

// Whether `after` is `before` less one stretch without a line break.
bool LostAtMostOneLine(const QString& before, const QString& after)
{
    const qsizetype removed = before.size() - after.size();
    if (removed < 0)
        return false;
    qsizetype prefix = 0;
    while (prefix < after.size() && after[prefix] == before[prefix])
        ++prefix;
    return before.mid(prefix + removed) == after.mid(prefix) && !before.mid(prefix, removed).contains('\n');
}

void CheckReply(const ExchangeState& state, const std::string& fed)
{
    Expect(state.Reply.size() <= kReplyLimit, "the reply passed its cap");
    Expect(fed.size() >= state.Reply.size() && fed.compare(fed.size() - state.Reply.size(), std::string::npos, state.Reply) == 0,
           "the reply is not the latest bytes of its exchange");
    const size_t found = state.Reply.find(state.ReplyEnd);
    Expect(state.WaitingReply == (found == std::string::npos), "the exchange and its terminator disagree");
    Expect(state.WaitingReply || found + state.ReplyEnd.size() == state.Reply.size()
               || (state.ReplyEnd.empty() && state.Reply.size() == 1),
           "the reply goes on past its first terminator");
}

void Receive(PrinterContext& context, const std::string& bytes, std::string& fed)
{
    ExchangeState& state = context.Exchange;
    for (char byte : bytes) {
        const bool waiting = state.WaitingReply;
        fed += byte;
        const QString box = context.Text1->toPlainText();
        const bool crlf = state.PendingCR && byte == '\n';
        state.RxChar = std::string(1, byte);
        ProcessRxChar(context);
        if (waiting)
            CheckReply(state, fed);
        const std::string& text = state.TerminalText;
        for (size_t i = 0; i < text.size(); ++i)
            Expect(text[i] != '\0' && text[i] != '\x1B' && (text[i] != '\r' || (i + 1 < text.size() && text[i + 1] == '\n')),
                   "a NUL, an escape or a lone carriage return reached the terminal text");
        const QString after = context.Text1->toPlainText();
        Expect(LostAtMostOneLine(box, after) && !(crlf && after != box), "the terminal box lost more than a line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QPlainTextEdit* box = new QPlainTextEdit();
    PrinterContext context;
    context.Text1 = box;
    FuzzedDataProvider input(data, size);
    box->setPlainText(QString::fromLatin1(input.ConsumeRandomLengthString(200)));
    auto moveCaret = [&] {
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(std::min(input.ConsumeIntegralInRange(0, 250), box->document()->characterCount() - 1));
        box->setTextCursor(cursor);
    };
    moveCaret();
    std::string fed;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            context.Exchange.ReplyEnd = input.ConsumeRandomLengthString(3);
            context.Exchange.Reply.clear();
            context.Exchange.WaitingReply = true;
            fed.clear();
            break;
        case 1:
            context.Exchange.WaitingReply = false;
            context.Exchange.Reply.clear();
            break;
        case 2:
            PostTerminal(context, context.Exchange.TerminalText);
            context.Exchange.TerminalText.clear();
            break;
        case 3:
            moveCaret();
            break;
        default:
            Receive(context, input.ConsumeRandomLengthString(300), fed);
        }
    }
    return 0;
}
