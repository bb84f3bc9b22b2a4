#pragma once

#include <cstdint>
#include <string>

// The number conversions of the configuration, each in one function. They
// raise RuntimeError: 13 "Type mismatch" for text that must be a number and
// is not, 6 "Overflow" for a result outside its range.

// The leading number of a text: blanks, tabs and line feeds anywhere are
// skipped; then an optional sign, digits, at most one decimal point and an
// optional exponent (E or D, optional sign, digits), or a whole number after
// &H (hexadecimal) or &O (octal). Reading stops at the first character that
// does not fit; text without a number gives 0. "3 printers" gives 3, "&H10"
// gives 16, "abc" gives 0. Hexadecimal and octal values that fit 16 bits are
// read as 16-bit two's complement, those that fit 32 bits as 32-bit.
double LeadingNumber(const std::string& text);

// Rounds to the nearest whole number, a half going to the even neighbour
// (2.5 gives 2, 3.5 gives 4); a result outside -32768..32767 overflows.
int16_t RoundToInt16(double value);

// The same rounding to a 32-bit integer.
int32_t RoundToInt32(double value);

// The whole text, blanks around it allowed, must be one number (in the
// forms LeadingNumber reads); rounded as RoundToInt16 or RoundToInt32.
// Empty text or text that is not a number is a type mismatch.
int16_t WholeTextToInt16(const std::string& text);
int32_t WholeTextToInt32(const std::string& text);

// A 16-bit result of arithmetic on 16-bit fields: overflows outside the range.
int16_t CheckedInt16(int64_t value);

// A number as plain decimal text without a leading blank, with a point
// whatever the locale: 5000 for 5000, 5000.5 for 5000.5.
std::string PlainDecimal(double value);

// Whether `text` is exactly an IPv4 address in dotted decimal: four numbers
// 0 to 255 of one to three digits, without leading zeros, separated by
// points, and nothing before or after. "127.0.0.1" is; "127.1", "0",
// "2130706433", "010.0.0.1" and "127.0.0.1 x" are not.
bool IsDottedIPv4(const std::string& text);
