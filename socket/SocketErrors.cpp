#include "socket/SocketErrors.h"

#include "runtime/RuntimeError.h"
#include "socket/WinsockErrorText.h"

#include <cmath>
#include <limits>

namespace SocketErrors {

void Fail(int32_t number, const std::string& description, const std::string& source)
{
    throw RuntimeError(number, description, source);
}

void FailWithSocketError(int32_t code, const std::string& source)
{
    throw RuntimeError(code, GetWinsockErrorText(code), source);
}

int32_t RoundHalfEven(double value)
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

int32_t PortArgument(const NetVariant& value, int32_t lowest, const std::string& source)
{
    if (!value.IsNumeric())
        Fail(kErrUnsupportedType, kTextUnsupportedType, source);
    double port = value.ToNumber();
    if (port < lowest || port > 65535)
        Fail(kErrBadArgument, kTextOutOfRange, source);
    return RoundHalfEven(port);
}

}  // namespace SocketErrors
