#pragma once

#include <array>
#include <cstdint>

class PrinterContext;

// The status record of one poll: bytes 0 to 2 of a good reply, byte 3 zero.
using StatusRecord = std::array<uint8_t, 4>;

// Sets caption and colours of the printer's Paper, Print Head, Cutter and
// Presenter rows of the printer context from bytes 0 and 1 of `record`. Returns
// true when any row shows a fault. A printer index without a column raises
// RuntimeError 9.
bool DecodeStatus(const StatusRecord& record, int16_t index, PrinterContext& context);
