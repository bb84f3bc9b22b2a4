// The metrics endpoint's request reader over arbitrary input. A complete
// request must read the same from its own bytes alone, every shorter piece
// of it must wait for more (a request split across receives is never
// refused), and a bad one must stay bad whatever follows; input that waits
// must be shorter than the head limit, so a connection cannot wait forever
// with its buffer full.
#include "fuzz/FuzzApplication.h"
#include "server/HttpRequest.h"

#include <cstdint>
#include <string>
#include <string_view>

using Status = HttpRequest::Status;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    HttpRequest request;
    const Status status = request.Parse(input);
    if (status == Status::Incomplete && size >= HttpRequest::kMaxHead)
        FuzzFailure("a full head limit still waits for more");
    if (status == Status::Bad && HttpRequest().Parse(std::string(input) + "\r\n\r\n") != Status::Bad)
        FuzzFailure("a bad request became good with more input");
    if (status != Status::Complete)
        return 0;
    const size_t length = request.Length();
    if (length == 0 || length > size || length > HttpRequest::kMaxHead || request.Method().empty()
        || (request.Version() != "HTTP/1.0" && request.Version() != "HTTP/1.1"))
        FuzzFailure("a complete request with a wrong length, method or version");
    HttpRequest alone;
    if (alone.Parse(input.substr(0, length)) != Status::Complete || alone.Length() != length)
        FuzzFailure("a request read differently without what follows it");
    for (size_t cut : {length - 1, length / 2, size_t{1}})
        if (cut < length && HttpRequest().Parse(input.substr(0, cut)) != Status::Incomplete)
            FuzzFailure("a piece of a request of " + std::to_string(length) + " bytes did not wait at " + std::to_string(cut));
    return 0;
}
