// Received bytes through ProcessRxChar one at a time, as the receive
// handlers feed it, while exchanges begin and end, the terminal text is
// handed over and the box's caret moves, as the input says. After every
// byte: the reply keeps within its cap, is the latest bytes of its exchange
// and ends at its first terminator; the terminal text holds no NUL, escape
// or lone carriage return; the terminal box loses at most one line.
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
    qsizetype same = 0;
    while (removed >= 0 && same < after.size() && after[same] == before[same])
        ++same;
    return removed >= 0 && before.mid(same + removed) == after.mid(same) && !before.mid(same, removed).contains('\n');
}

void Receive(PrinterContext& context, const std::string& bytes, std::string& fed)
{
    ExchangeState& s = context.Exchange;
    for (char byte : bytes) {
        const bool waiting = s.WaitingReply;
        const QString box = context.Text1->toPlainText();
        fed += byte;
        s.RxChar = std::string(1, byte);
        ProcessRxChar(context);
        const size_t end = s.Reply.find(s.ReplyEnd);
        Expect(!waiting
                   || (s.Reply.size() <= kReplyLimit && fed.size() >= s.Reply.size()
                       && fed.compare(fed.size() - s.Reply.size(), std::string::npos, s.Reply) == 0
                       && s.WaitingReply == (end == std::string::npos)
                       && (s.WaitingReply || end + std::max<size_t>(s.ReplyEnd.size(), 1) == s.Reply.size())),
               "the reply is not the latest bytes of its exchange up to its first terminator");
        const std::string& text = s.TerminalText;
        for (size_t i = 0; i < text.size(); ++i)
            Expect(text[i] != '\0' && text[i] != '\x1B' && (text[i] != '\r' || text.compare(i, 2, "\r\n") == 0),
                   "a NUL, an escape or a lone carriage return reached the terminal text");
        Expect(LostAtMostOneLine(box, context.Text1->toPlainText()), "the terminal box lost more than a line");
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
    ExchangeState& s = context.Exchange;
    std::string fed;
    while (input.remaining_bytes() > 0) {
        const int command = input.ConsumeIntegralInRange(0, 5);
        if (command == 0) {
            s.ReplyEnd = input.ConsumeRandomLengthString(3);
            s.Reply.clear();
            s.WaitingReply = true;
            fed.clear();
        } else if (command == 1) {
            s.WaitingReply = false;
        } else if (command == 2) {
            PostTerminal(context, s.TerminalText);
            s.TerminalText.clear();
        } else if (command == 3) {
            QTextCursor caret = box->textCursor();
            caret.setPosition(std::min(input.ConsumeIntegralInRange(0, 250), box->document()->characterCount() - 1));
            box->setTextCursor(caret);
        } else {
            Receive(context, input.ConsumeRandomLengthString(300), fed);
        }
    }
    // What the input put into the box goes with it: libFuzzer looks for a
    // leak after every input that allocated more than it freed, and that
    // look costs a hundred times the input.
    box->clear();
    return 0;
}
