#pragma once

#include <charconv>
#include <string>

// Decimal numbers as text in both directions, always with a point and no
// grouping. Qt puts the process into the user's locale at start, and a
// decimal comma there must not reach the configuration's port texts, the
// socket layer's number texts or the metrics page; every number the monitor
// writes or reads as decimal text goes through these two functions.

// `value` as printf would write it in the C locale with the conversion of
// `format` (fixed: %.Nf, general: %.Ng) and `precision` N.
std::string DecimalText(double value, std::chars_format format, int precision);

// The value of decimal text as strtod reads it in the C locale: leading
// blanks skipped, reading stops at the first character that does not fit,
// 0 when there is no number.
double DecimalValue(const std::string& text);
