#include "printer/TerminalLog.h"

#include "printer/PrinterContext.h"
#include "printer/TextBoxFuncs.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

// The carriage return before this byte stood alone: the box's current line
// is wiped, as a terminal returning to the line start and writing over it
// would end up showing.
void EraseCurrentLine(PrinterContext& context)
{
    PostTerminal(context, context.Exchange.TerminalText);
    QPlainTextEdit& box = *context.Text1;
    const int start = GetLineStart(box);
    const int length = GetLineLength(box);
    FreezeRedraw(box);
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    box.setTextCursor(cursor);
    ThawRedraw(box);
}

// A line feed without a carriage return: the next line starts below the
// caret, at the same column.
void LineFeedAtColumn(PrinterContext& context)
{
    PostTerminal(context, context.Exchange.TerminalText);
    const int column = GetCaretPos(*context.Text1) - GetLineStart(*context.Text1);
    PostTerminal(context, "\r\n" + std::string(static_cast<size_t>(column), ' '));
}

}  // namespace

void RenderRxChar(PrinterContext& context)
{
    ExchangeState& state = context.Exchange;
    std::string& rx = state.RxChar;
    const int byte = rx.size() == 1 ? static_cast<unsigned char>(rx[0]) : -1;

    // A carriage return followed by anything but a line feed stood alone:
    // it erases the box's current line.
    if (state.PendingCR && byte != 0x0A)
        EraseCurrentLine(context);

    if (byte == 0x00) {
        rx = "{NULL}";
        state.PendingCR = false;
    } else if (byte == 0x1B) {
        rx.clear();
        state.PendingCR = false;
    } else if (byte == 0x0A && state.PendingCR) {
        rx = "\r\n";
        state.PendingCR = false;
    } else if (byte == 0x0A) {
        LineFeedAtColumn(context);
        rx.clear();
    } else if (byte == 0x0D) {
        state.PendingCR = true;
        rx.clear();
    } else {
        state.PendingCR = false;
    }

    state.TerminalText += rx;
}

void PostTerminal(PrinterContext&, const std::string&)
{
}
