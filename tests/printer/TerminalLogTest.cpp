// Received bytes rendered as terminal text, and the erasure of the current
// line of the log's real text box on a lone carriage return.
#include "core/frmMain.h"
#include "printer/CommandExchange.h"
#include "printer/TerminalLog.h"
#include "printer/TextBoxFuncs.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace {

class TerminalLogTest : public ::testing::Test {
protected:
    // Each byte as the receive handlers pass it on.
    void Feed(const std::string& bytes)
    {
        for (char byte : bytes) {
            form.Exchange.RxChar = std::string(1, byte);
            ProcessRxChar(form);
        }
    }

    // The box holds `text` with the caret at `caret`, or with a selection
    // from `caret` to `selectionEnd`.
    void SetBox(const std::string& text, int caret, int selectionEnd = -1)
    {
        box.setPlainText(QString::fromStdString(text));
        QTextCursor cursor = box.textCursor();
        cursor.setPosition(caret);
        if (selectionEnd >= 0)
            cursor.setPosition(selectionEnd, QTextCursor::KeepAnchor);
        box.setTextCursor(cursor);
    }

    std::string Box() const { return box.toPlainText().toStdString(); }
    const std::string& Text() const { return form.Exchange.TerminalText; }

    frmMain form{"unused.ini"};
    QPlainTextEdit& box = *form.Text1;
};

TEST_F(TerminalLogTest, CarriageReturnAndLineFeedStayALineBreak)
{
    SetBox("kept\nline", 9);
    Feed("AB\r\nC");
    EXPECT_EQ(Text(), "AB\r\nC");
    EXPECT_EQ(Box(), "kept\nline") << "only a lone carriage return touches the box";
    EXPECT_FALSE(form.Exchange.PendingCR);
}

TEST_F(TerminalLogTest, ZeroBytesShowAsNullAndEscapesAsNothing)
{
    Feed(std::string("a\x00" "b\x1B" "c", 5));
    EXPECT_EQ(Text(), "a{NULL}bc");
}

TEST_F(TerminalLogTest, OtherBytesPassUnchanged)
{
    std::string bytes;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != 0x0A && byte != 0x0D && byte != 0x1B)
            bytes += static_cast<char>(byte);
    Feed(bytes);
    EXPECT_EQ(Text(), bytes);
}

TEST_F(TerminalLogTest, ALoneLineFeedAddsNothingToTheText)
{
    SetBox("abc", 3);
    Feed("X\nY");
    EXPECT_EQ(Text(), "XY");
    EXPECT_EQ(Box(), "abc");
}

TEST_F(TerminalLogTest, ALoneCarriageReturnErasesTheLineOfTheCaretBeforeTheNextByte)
{
    SetBox("one\ntwo\nthree", 6);
    Feed("\r");
    EXPECT_EQ(Box(), "one\ntwo\nthree") << "the carriage return waits for the next byte";
    EXPECT_TRUE(form.Exchange.PendingCR);
    EXPECT_EQ(Text(), "");

    Feed("X");
    EXPECT_EQ(Box(), "one\n\nthree");
    EXPECT_EQ(Text(), "X");
    EXPECT_FALSE(form.Exchange.PendingCR);
    EXPECT_TRUE(box.updatesEnabled()) << "redraw is back on after the erasure";
}

TEST_F(TerminalLogTest, ASecondCarriageReturnErasesAndStaysPending)
{
    SetBox("first\nsecond", 12);
    Feed("\r\r");
    EXPECT_EQ(Box(), "first\n");
    EXPECT_TRUE(form.Exchange.PendingCR);

    SetBox("first\nagain", 11);
    Feed("X");
    EXPECT_EQ(Box(), "first\n") << "the byte after the second one erases again";
    EXPECT_EQ(Text(), "X");
}

TEST_F(TerminalLogTest, AnEscapeAfterACarriageReturnErasesAndEndsThePendingReturn)
{
    SetBox("line", 2);
    Feed("\r\x1B");
    EXPECT_EQ(Box(), "");
    EXPECT_EQ(Text(), "");
    EXPECT_FALSE(form.Exchange.PendingCR);
    SetBox("line", 2);
    Feed("Z");
    EXPECT_EQ(Box(), "line");
}

TEST_F(TerminalLogTest, LineQueriesFollowTheCaretAndTheSelection)
{
    SetBox("one\ntwo\nthree", 6);
    EXPECT_EQ(GetLineStart(box), 4);
    EXPECT_EQ(GetLineLength(box), 3);
    EXPECT_EQ(GetCaretPos(box), 6);

    // Selected from inside "two" to inside "three": the caret's line is the
    // last one, the length is that of the selection's first line.
    SetBox("one\ntwo\nthree", 5, 10);
    EXPECT_EQ(GetLineStart(box), 8);
    EXPECT_EQ(GetLineLength(box), 3);
    EXPECT_EQ(GetCaretPos(box), 10);

    SetBox("", 0);
    EXPECT_EQ(GetLineStart(box), 0);
    EXPECT_EQ(GetLineLength(box), 0);

    FreezeRedraw(box);
    EXPECT_FALSE(box.updatesEnabled());
    ThawRedraw(box);
    EXPECT_TRUE(box.updatesEnabled());
}

}  // namespace
