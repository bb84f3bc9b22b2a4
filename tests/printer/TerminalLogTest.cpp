// Received bytes rendered as terminal text. The monitor never shows the
// text; one case keeps the rendering and the erasure of the box's current
// line honest, and the reply fuzz target checks them on any input.
#include "PrinterLinkFixture.h"

#include <QTextCursor>

namespace {

TEST(TerminalLogTest, ControlBytesAreShownOrDroppedAndALoneCarriageReturnErasesTheCaretsLine)
{
    TestPrinterContext context({});
    QPlainTextEdit& box = *context.Text1;
    box.setPlainText("one\ntwo\nthree");
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(6);
    box.setTextCursor(cursor);
    auto feed = [&](const std::string& bytes) {
        for (char byte : bytes) {
            context.Exchange.RxChar = std::string(1, byte);
            ProcessRxChar(context);
        }
    };

    feed(std::string("AB\r\nC\x00" "D\x1B" "E\nF", 11));
    EXPECT_EQ(context.Exchange.TerminalText, "AB\r\nC{NULL}DEF");
    EXPECT_EQ(box.toPlainText(), "one\ntwo\nthree") << "a line break leaves the box alone";

    feed("\r");
    EXPECT_EQ(box.toPlainText(), "one\ntwo\nthree") << "the carriage return waits for the next byte";
    feed("X");
    EXPECT_EQ(box.toPlainText(), "one\n\nthree");
    EXPECT_TRUE(box.updatesEnabled()) << "redraw is back on after the erasure";
}

}  // namespace
