#pragma once

#include "socket/NetVariant.h"

#include <cstdint>
#include <string>

// The run-time errors of the socket class and its reading of the numbers a
// caller hands it. A failure is a RuntimeError whose source names the method
// ("CNetSocket.<name>"); a platform failure carries the Windows Sockets
// number and its text. Used by CNetSocket and the parts beside it.
namespace SocketErrors {

constexpr int32_t kErrOutOfMemory = 7;
constexpr int32_t kErrWrongState = 40006;
constexpr int32_t kErrBadArgument = 40014;
constexpr int32_t kErrUnsupportedType = 40018;
constexpr int32_t kErrInvalidOperation = 40020;

constexpr const char* kTextInvalidOperation = "Invalid operation at current state";
constexpr const char* kTextOutOfRange =
    "The argument passed to a function was not in the correct format or in the specified range.";
constexpr const char* kTextInvalidArgument = "Invalid argument";
constexpr const char* kTextUnsupportedType = "Unsupported variant type.";
constexpr const char* kTextWrongState =
    "Wrong protocol or connection state for the requested transaction or request";

[[noreturn]] void Fail(int32_t number, const std::string& description, const std::string& source);
[[noreturn]] void FailWithSocketError(int32_t code, const std::string& source);

// Lengths and type codes may come from a caller as any number: one beyond
// the 32-bit range stands for the nearest end of it, and a NaN for 0; a
// half goes to the even neighbour.
int32_t RoundHalfEven(double value);

// A port argument: numeric within [lowest, 65535], else 40014; not numeric, 40018.
int32_t PortArgument(const NetVariant& value, int32_t lowest, const std::string& source);

}  // namespace SocketErrors
