#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// Type codes of the values that the socket class sends and receives (the
// automation variant numbers its callers know).
constexpr int32_t vbEmpty = 0;
constexpr int32_t vbInteger = 2;
constexpr int32_t vbLong = 3;
constexpr int32_t vbSingle = 4;
constexpr int32_t vbDouble = 5;
constexpr int32_t vbCurrency = 6;
constexpr int32_t vbDate = 7;
constexpr int32_t vbString = 8;
constexpr int32_t vbBoolean = 11;
constexpr int32_t vbByte = 17;
constexpr int32_t vbArray = 8192;
constexpr int32_t vbByteArray = vbArray + vbByte;

// A value that carries its own type code: what CNetSocket's SendData takes,
// what GetData and PeekData write, and the optional arguments (ports,
// addresses, type codes, lengths) that its callers may give as a number or
// as text. A String holds one byte per character. Each value has a byte form
// (little-endian for numbers) that is what goes over the wire.
//
// "Numeric" means a number, a Boolean, or a text that reads wholly as a
// decimal number ("9101", " 80 ", "-2.5E3"; not "0x50"); an empty value is
// not numeric.
class NetVariant {
public:
    struct Currency {
        int64_t scaled;  // the value times 10000
    };
    struct Date {
        double serial;
    };
    using ByteArray = std::vector<uint8_t>;

    NetVariant() = default;
    NetVariant(uint8_t value) : value_(value) {}
    NetVariant(int16_t value) : value_(value) {}
    NetVariant(int32_t value) : value_(value) {}
    NetVariant(float value) : value_(value) {}
    NetVariant(double value) : value_(value) {}
    NetVariant(Currency value) : value_(value) {}
    NetVariant(Date value) : value_(value) {}
    NetVariant(bool value) : value_(value) {}
    NetVariant(std::string value) : value_(std::move(value)) {}
    NetVariant(const char* value) : value_(std::string(value)) {}
    NetVariant(ByteArray value) : value_(std::move(value)) {}

    int32_t VarType() const;
    bool IsEmpty() const { return VarType() == vbEmpty; }
    bool IsNumeric() const;
    // The numeric value; 0 for a value that is not numeric.
    double ToNumber() const;
    // The text form: numbers as their decimal digits, bytes one per character.
    std::string ToText() const;
    ByteArray ToByteArray() const;

    template <typename T>
    const T* Get() const { return std::get_if<T>(&value_); }

    // The bytes that SendData puts on the wire; none for a type that has no
    // byte form.
    std::optional<std::string> ToBytes() const;
    // The fixed size of a type's byte form; 0 for texts, byte arrays and
    // types without a byte form.
    static size_t FixedSize(int32_t varType);
    // The value of type `varType` that `bytes` encode; `bytes` holds exactly
    // FixedSize(varType) bytes, or any number for texts and byte arrays.
    static NetVariant FromBytes(int32_t varType, const std::string& bytes);

    bool operator==(const NetVariant& other) const;

private:
    std::variant<std::monostate, uint8_t, int16_t, int32_t, float, double, Currency, Date, bool, std::string,
                 ByteArray>
        value_;
};
