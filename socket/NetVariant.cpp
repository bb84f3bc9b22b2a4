#include "socket/NetVariant.h"

#include "runtime/DecimalText.h"

#include <bit>
#include <cmath>
#include <string_view>

namespace {

template <typename T>
std::string LittleEndian(T value)
{
    using Unsigned = std::make_unsigned_t<T>;
    auto bits = static_cast<Unsigned>(value);
    std::string bytes(sizeof(T), '\0');
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return bytes;
}

template <typename T>
T FromLittleEndian(const std::string& bytes)
{
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        bits |= static_cast<Unsigned>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    return static_cast<T>(bits);
}

size_t SkipDigits(std::string_view text, size_t i)
{
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    return i;
}

// Decimal text only: a sign, digits with at most one point, an exponent (E,
// a sign, digits), blanks around it. Hexadecimal, "inf" and "nan" are words.
bool ReadsAsNumber(const std::string& text, double& value)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    const std::string_view number(text.data() + first, text.find_last_not_of(' ') - first + 1);
    size_t i = number[0] == '+' || number[0] == '-' ? 1 : 0;
    const size_t integerEnd = SkipDigits(number, i);
    size_t digits = integerEnd - i;
    i = integerEnd;
    if (i < number.size() && number[i] == '.') {
        const size_t fractionEnd = SkipDigits(number, i + 1);
        digits += fractionEnd - (i + 1);
        i = fractionEnd;
    }
    if (digits == 0)
        return false;
    if (i < number.size() && (number[i] == 'E' || number[i] == 'e')) {
        size_t exponent = i + 1;
        if (exponent < number.size() && (number[exponent] == '+' || number[exponent] == '-'))
            ++exponent;
        i = SkipDigits(number, exponent);
        if (i == exponent)
            return false;
    }
    if (i != number.size())
        return false;
    value = DecimalValue(std::string(number));
    return std::isfinite(value);
}

std::string NumberText(double value)
{
    return DecimalText(value, std::chars_format::general, 15);
}

}  // namespace

int32_t NetVariant::VarType() const
{
    static constexpr int32_t kCodes[] = {vbEmpty, vbByte,     vbInteger, vbLong,    vbSingle,   vbDouble,
                                         vbCurrency, vbDate, vbBoolean, vbString, vbByteArray};
    return kCodes[value_.index()];
}

bool NetVariant::IsNumeric() const
{
    if (const auto* text = Get<std::string>()) {
        double ignored = 0;
        return ReadsAsNumber(*text, ignored);
    }
    int32_t type = VarType();
    return type != vbEmpty && type != vbDate && type != vbByteArray;
}

double NetVariant::ToNumber() const
{
    return std::visit(
        [](const auto& value) -> double {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                double number = 0;
                return ReadsAsNumber(value, number) ? number : 0;
            } else if constexpr (std::is_same_v<T, bool>) {
                return value ? -1 : 0;
            } else if constexpr (std::is_same_v<T, Currency>) {
                return static_cast<double>(value.scaled) / 10000;
            } else if constexpr (std::is_same_v<T, Date>) {
                return value.serial;
            } else if constexpr (std::is_arithmetic_v<T>) {
                return static_cast<double>(value);
            } else {
                return 0;
            }
        },
        value_);
}

std::string NetVariant::ToText() const
{
    if (const auto* text = Get<std::string>())
        return *text;
    if (const auto* bytes = Get<ByteArray>())
        return std::string(bytes->begin(), bytes->end());
    if (const auto* flag = Get<bool>())
        return *flag ? "True" : "False";
    if (IsEmpty())
        return "";
    return NumberText(ToNumber());
}

NetVariant::ByteArray NetVariant::ToByteArray() const
{
    if (const auto* bytes = Get<ByteArray>())
        return *bytes;
    std::string text = ToText();
    return ByteArray(text.begin(), text.end());
}

std::optional<std::string> NetVariant::ToBytes() const
{
    return std::visit(
        [](const auto& value) -> std::optional<std::string> {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return std::nullopt;
            else if constexpr (std::is_same_v<T, std::string>)
                return value;
            else if constexpr (std::is_same_v<T, ByteArray>)
                return std::string(value.begin(), value.end());
            else if constexpr (std::is_same_v<T, bool>)
                return LittleEndian<int16_t>(value ? -1 : 0);
            else if constexpr (std::is_same_v<T, float>)
                return LittleEndian(std::bit_cast<uint32_t>(value));
            else if constexpr (std::is_same_v<T, double>)
                return LittleEndian(std::bit_cast<uint64_t>(value));
            else if constexpr (std::is_same_v<T, Currency>)
                return LittleEndian(value.scaled);
            else if constexpr (std::is_same_v<T, Date>)
                return LittleEndian(std::bit_cast<uint64_t>(value.serial));
            else
                return LittleEndian(value);
        },
        value_);
}

size_t NetVariant::FixedSize(int32_t varType)
{
    switch (varType) {
    case vbByte:
        return 1;
    case vbInteger:
    case vbBoolean:
        return 2;
    case vbLong:
    case vbSingle:
        return 4;
    case vbDouble:
    case vbCurrency:
    case vbDate:
        return 8;
    }
    return 0;
}

NetVariant NetVariant::FromBytes(int32_t varType, const std::string& bytes)
{
    switch (varType) {
    case vbByte:
        return static_cast<uint8_t>(bytes[0]);
    case vbInteger:
        return FromLittleEndian<int16_t>(bytes);
    case vbBoolean:
        return FromLittleEndian<int16_t>(bytes) != 0;
    case vbLong:
        return FromLittleEndian<int32_t>(bytes);
    case vbSingle:
        return std::bit_cast<float>(FromLittleEndian<uint32_t>(bytes));
    case vbDouble:
        return std::bit_cast<double>(FromLittleEndian<uint64_t>(bytes));
    case vbCurrency:
        return Currency{FromLittleEndian<int64_t>(bytes)};
    case vbDate:
        return Date{std::bit_cast<double>(FromLittleEndian<uint64_t>(bytes))};
    case vbString:
        return bytes;
    case vbByteArray:
        return ByteArray(bytes.begin(), bytes.end());
    }
    return {};
}

bool NetVariant::operator==(const NetVariant& other) const
{
    return VarType() == other.VarType() && ToBytes() == other.ToBytes();
}
