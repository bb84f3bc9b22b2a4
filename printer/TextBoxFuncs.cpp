#include "printer/TextBoxFuncs.h"

#include <QPlainTextEdit>
#include <QTextBlock>

namespace {

QTextBlock BlockAt(const QPlainTextEdit& box, int position)
{
    return box.document()->findBlock(position);
}

}  // namespace

int GetLineStart(const QPlainTextEdit& box)
{
    return BlockAt(box, box.textCursor().position()).position();
}

int GetLineLength(const QPlainTextEdit& box)
{
    // A block's length counts its line break.
    return BlockAt(box, box.textCursor().selectionStart()).length() - 1;
}

int GetCaretPos(const QPlainTextEdit& box)
{
    return box.textCursor().selectionEnd();
}

void FreezeRedraw(QPlainTextEdit& box)
{
    box.setUpdatesEnabled(false);
}

void ThawRedraw(QPlainTextEdit& box)
{
    box.setUpdatesEnabled(true);
}
