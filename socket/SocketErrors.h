#pragma once

#include "runtime/RuntimeError.h"
#include "socket/WinsockErrorText.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

// What the files of the socket class share: the run-time errors it raises
// with their numbers and texts, the rounding of the numbers callers give it,
// and the address that a host-name look-up has not found yet. CNetSocket's
// state machine and events (CNetSocket.cpp), its host look-ups
// (CNetSocketLookup.cpp), its receive buffer (CNetSocketReceive.cpp) and its
// send buffer (CNetSocketSend.cpp) include it; nothing else does.
namespace SocketErrors {

inline constexpr int32_t kErrOutOfMemory = 7;
inline constexpr int32_t kErrWrongState = 40006;
inline constexpr int32_t kErrBadArgument = 40014;
inline constexpr int32_t kErrUnsupportedType = 40018;
inline constexpr int32_t kErrInvalidOperation = 40020;

inline const char* const kTextInvalidOperation = "Invalid operation at current state";
inline const char* const kTextOutOfRange =
    "The argument passed to a function was not in the correct format or in the specified range.";
inline const char* const kTextInvalidArgument = "Invalid argument";
inline const char* const kTextUnsupportedType = "Unsupported variant type.";
inline const char* const kTextWrongState = "Wrong protocol or connection state for the requested transaction or request";

// The result of a host-name look-up that cannot answer at once; it is also
// the value of the text 1.0.0.0, which therefore never connects.
inline constexpr uint32_t kNoAddressYet = 1;
inline constexpr uint32_t kNotAnAddress = 0xFFFFFFFF;

[[noreturn]] inline void Fail(int32_t number, const std::string& description, const std::string& source)
{
    throw RuntimeError(number, description, source);
}

[[noreturn]] inline void FailWithSocketError(int32_t code, const std::string& source)
{
    throw RuntimeError(code, GetWinsockErrorText(code), source);
}

// Lengths and type codes may come from a caller as any number: one beyond
// the 32-bit range stands for the nearest end of it, and a NaN for 0.
inline int32_t RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (rounded >= std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
}

}  // namespace SocketErrors
