#include "runtime/Conversions.h"

#include "runtime/AsciiCase.h"
#include "runtime/DecimalText.h"
#include "runtime/RuntimeError.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

namespace {

const char* kSource = "StatusMonitorQ62m";

[[noreturn]] void Overflow()
{
    throw RuntimeError(kErrOverflow, "Overflow", kSource);
}

[[noreturn]] void TypeMismatch()
{
    throw RuntimeError(kErrTypeMismatch, "Type mismatch", kSource);
}

bool IsDigitIn(char c, int radix)
{
    if (radix == 8)
        return c >= '0' && c <= '7';
    if (radix == 16)
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

uint64_t DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint64_t>(c - '0');
    return static_cast<uint64_t>(AsciiLower(c) - 'a' + 10);
}

// A NUL byte is a character like any other that fits no number.
bool IsExponentLetter(char c)
{
    return std::string_view("EeDd").find(c) != std::string_view::npos;
}

// A number that has been read and how many characters it took.
struct Scanned {
    double value = 0;
    size_t length = 0;
};

// &H and &O numbers; `text` starts with '&'.
std::optional<Scanned> ScanRadix(const std::string& text)
{
    if (text.size() < 2)
        return std::nullopt;
    const char prefix = AsciiLower(text[1]);
    const int radix = prefix == 'h' ? 16 : prefix == 'o' ? 8 : 0;
    if (radix == 0)
        return std::nullopt;
    size_t i = 2;
    uint64_t value = 0;
    while (i < text.size() && IsDigitIn(text[i], radix)) {
        value = value * radix + DigitValue(text[i]);
        if (value > 0xFFFFFFFFull)
            Overflow();
        ++i;
    }
    if (i == 2)
        return Scanned{0, i};
    double result;
    if (value <= 0xFFFF)
        result = static_cast<int16_t>(static_cast<uint16_t>(value));
    else
        result = static_cast<int32_t>(static_cast<uint32_t>(value));
    return Scanned{result, i};
}

// Sign, digits, decimal point and exponent, as far as they fit.
Scanned ScanDecimal(const std::string& text)
{
    std::string normal;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        normal += text[i++];
    size_t digits = 0;
    while (i < text.size() && IsDigitIn(text[i], 10)) {
        normal += text[i++];
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        normal += text[i++];
        while (i < text.size() && IsDigitIn(text[i], 10)) {
            normal += text[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return Scanned{0, 0};
    if (i < text.size() && IsExponentLetter(text[i])) {
        size_t j = i + 1;
        std::string exponent = "E";
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            exponent += text[j++];
        const size_t firstDigit = j;
        while (j < text.size() && IsDigitIn(text[j], 10))
            exponent += text[j++];
        if (j > firstDigit) {
            normal += exponent;
            i = j;
        }
    }
    const double value = DecimalValue(normal);
    if (std::isinf(value))
        Overflow();
    return Scanned{value, i};
}

std::optional<Scanned> Scan(const std::string& text)
{
    if (!text.empty() && text[0] == '&')
        return ScanRadix(text);
    const Scanned s = ScanDecimal(text);
    if (s.length == 0)
        return std::nullopt;
    return s;
}

}  // namespace

double LeadingNumber(const std::string& text)
{
    std::string packed;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            packed += c;
    const auto scanned = Scan(packed);
    return scanned ? scanned->value : 0.0;
}

namespace {

template <typename Integer>
Integer RoundTo(double value)
{
    if (std::isnan(value))
        Overflow();
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<Integer>::min() || rounded > std::numeric_limits<Integer>::max())
        Overflow();
    return static_cast<Integer>(rounded);
}

}  // namespace

int16_t RoundToInt16(double value)
{
    return RoundTo<int16_t>(value);
}

int32_t RoundToInt32(double value)
{
    return RoundTo<int32_t>(value);
}

namespace {

// The value of a text that must be one number as a whole.
double WholeTextNumber(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        TypeMismatch();
    const size_t last = text.find_last_not_of(blanks);
    const std::string number = text.substr(first, last - first + 1);
    const auto scanned = Scan(number);
    if (!scanned || scanned->length != number.size()
        || (number[0] == '&' && scanned->length == 2))
        TypeMismatch();
    return scanned->value;
}

}  // namespace

int16_t WholeTextToInt16(const std::string& text)
{
    return RoundToInt16(WholeTextNumber(text));
}

int32_t WholeTextToInt32(const std::string& text)
{
    return RoundToInt32(WholeTextNumber(text));
}

int16_t CheckedInt16(int64_t value)
{
    if (value < -32768 || value > 32767)
        Overflow();
    return static_cast<int16_t>(value);
}

std::string PlainDecimal(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return DecimalText(value, std::chars_format::fixed, 0);
    return DecimalText(value, std::chars_format::general, 15);
}

bool IsDottedIPv4(const std::string& text)
{
    size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0 && (pos >= text.size() || text[pos++] != '.'))
            return false;
        const size_t start = pos;
        int value = 0;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            value = value * 10 + (text[pos++] - '0');
        const size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return false;
    }
    return pos == text.size();
}
