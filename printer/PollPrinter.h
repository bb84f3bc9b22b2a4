#pragma once

#include <cstdint>

class PrinterContext;

// One complete status poll of the printer with `index`: open its link, ask
// for the status, store and decode a good answer, close the link. Returns
// true only when the decoded status shows a fault; every failure (no link,
// no answer, a bad answer, an error on the way) counts as no fault and
// leaves the printer's StatusBytes and rows as they were.
bool PollPrinter(PrinterContext& context, int16_t index);
