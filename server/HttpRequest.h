#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One HTTP/1.0 or 1.1 request head at the front of a connection's input, as
// the metrics endpoint reads it: the request line, and of the headers only
// what decides the connection's fate (Connection as a list of tokens,
// whether a body follows). Lines end in CRLF or a bare LF; empty lines
// before the request line are skipped. It depends on nothing but its input,
// so the metrics server and its fuzz target use it alike.
class HttpRequest {
public:
    enum class Status {
        Incomplete,  // more input may complete it
        Complete,    // Length() bytes make the request
        Bad,         // no input that follows can make a request of it
    };

    // A head, its final empty line included, is at most this long.
    static constexpr size_t kMaxHead = 8 * 1024;

    // Reads the request at the front of `input`; the fields below describe
    // a complete one.
    Status Parse(std::string_view input);

    const std::string& Method() const { return method_; }
    const std::string& Target() const { return target_; }
    const std::string& Version() const { return version_; }
    // The bytes from the start of the input to the end of the head.
    size_t Length() const { return length_; }
    // The connection may carry another request after the answer.
    bool KeepAlive() const;
    // The head announces a body (Content-Length other than 0, or
    // Transfer-Encoding), which the endpoint does not read.
    bool HasBody() const { return hasBody_; }

private:
    bool MethodCanStart(std::string_view line) const;
    bool ReadRequestLine(std::string_view line);
    bool ReadHeader(std::string_view line);

    std::string method_;
    std::string target_;
    std::string version_;
    size_t length_ = 0;
    bool close_ = false;
    bool keepAlive_ = false;
    bool hasBody_ = false;
};
