#pragma once

#include <string>

class PrinterContext;

// The terminal log: every received byte rendered as a simple terminal
// would show the printer's output, into the context's TerminalText,
// for the hand-over point PostTerminal. ProcessRxChar renders each byte
// after gathering it into the reply; the receive handlers hand the text
// over and empty it.

// Renders the byte in Exchange.RxChar and appends the result to
// TerminalText: 0x00 becomes "{NULL}", escape is dropped, CR LF stays a
// line break, a lone line feed becomes nothing here (a line break aligned
// to the caret's column is handed over at once), and a carriage return
// waits for the next byte. A carriage return not followed by a line feed
// erases the current line of the text box Text1.
void RenderRxChar(PrinterContext& context);

// Where rendered terminal text is handed over. The monitor shows it
// nowhere: the log's box lies outside the visible window.
void PostTerminal(PrinterContext& context, const std::string& text);
