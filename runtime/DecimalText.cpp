#include "runtime/DecimalText.h"

#include <cstdlib>
#include <locale.h>

std::string DecimalText(double value, std::chars_format format, int precision)
{
    // Room for the 309 digits of the largest double in fixed notation.
    char text[400];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, format, precision);
    return end.ec == std::errc() ? std::string(text, end.ptr) : std::string();
}

double DecimalValue(const std::string& text)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    return strtod_l(text.c_str(), nullptr, cLocale);
}
