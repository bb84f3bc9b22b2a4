#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The one error type of the monitor: a run-time error with a number, a
// description and the name of the procedure that raised it. Conversions,
// the socket layer and start-up raise it; the printer poll absorbs it (a
// printer error is never shown), and so does the dispatch of socket
// notifications, which reports it on standard error.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int32_t number, std::string description, std::string source)
        : std::runtime_error(description),
          number_(number),
          description_(std::move(description)),
          source_(std::move(source))
    {
    }

    int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }
    const std::string& Source() const { return source_; }

    // "Run-time error 13: Type mismatch (Configuration.ReadGeneral)", as a
    // message box or standard error tells it.
    std::string Message() const
    {
        return "Run-time error " + std::to_string(number_) + ": " + description_ + " (" + source_ + ")";
    }

private:
    int32_t number_;
    std::string description_;
    std::string source_;
};

// Numbers of the run-time errors that the monitor raises outside the socket
// layer; the socket layer uses the Windows Sockets numbers.
constexpr int32_t kErrOverflow = 6;
constexpr int32_t kErrTypeMismatch = 13;
constexpr int32_t kErrSubscriptOutOfRange = 9;
