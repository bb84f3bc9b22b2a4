#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Letter case of the configuration's names, the serial settings, HTTP
// headers and typed commands: ASCII only. The C library's tolower follows
// the user's locale, where a Turkish 'I' has no one-byte lower case and
// "UpdateInterval" would no longer match "updateinterval".

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
    return lower;
}

inline bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}
