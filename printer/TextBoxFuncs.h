#pragma once

class QPlainTextEdit;

// Caret and line queries and redraw control on a multi-line text box, for
// the terminal log's erasure of the current line. Positions are character
// indexes into the box's text. A line is a line of the text, from one line
// break to the next: the box is never shown, so lines wrapped at its width
// would make the erased part depend on the font.

// Index of the first character of the line that holds the caret.
int GetLineStart(const QPlainTextEdit& box);

// Length of the line that holds the start of the selection, without its
// line break.
int GetLineLength(const QPlainTextEdit& box);

// The end of the selection, where the caret stands after typing.
int GetCaretPos(const QPlainTextEdit& box);

// The box stops repainting until ThawRedraw.
void FreezeRedraw(QPlainTextEdit& box);
void ThawRedraw(QPlainTextEdit& box);
