#include "server/HttpRequest.h"

#include "runtime/AsciiCase.h"

#include <algorithm>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Split(std::string_view text, bool (*separator)(char))
{
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = at;
        while (end < text.size() && !separator(text[end]))
            ++end;
        parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

bool IsMethodLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool IsTargetCharacter(char c)
{
    return c > ' ' && c < 127;
}

// Where the line starting at `at` ends (its LF), and the line without its
// line end.
size_t LineEnd(std::string_view input, size_t at, std::string_view& line)
{
    const size_t end = input.find('\n', at);
    if (end == std::string_view::npos)
        return end;
    line = input.substr(at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return end;
}

}  // namespace

HttpRequest::Status HttpRequest::Parse(std::string_view input)
{
    *this = HttpRequest();
    input = input.substr(0, kMaxHead);
    size_t at = 0;
    std::string_view line;
    size_t end = LineEnd(input, at, line);
    while (end != std::string_view::npos && line.empty())
        end = LineEnd(input, at = end + 1, line);
    if (end == std::string_view::npos) {
        const std::string_view partial = input.substr(at);
        const bool maybe = partial == "\r" || MethodCanStart(partial);
        return maybe && input.size() < kMaxHead ? Status::Incomplete : Status::Bad;
    }
    if (!ReadRequestLine(line))
        return Status::Bad;
    while ((end = LineEnd(input, at = end + 1, line)) != std::string_view::npos) {
        if (line.empty()) {
            length_ = end + 1;
            return Status::Complete;
        }
        if (!ReadHeader(line))
            return Status::Bad;
    }
    return input.size() < kMaxHead ? Status::Incomplete : Status::Bad;
}

bool HttpRequest::KeepAlive() const
{
    return !close_ && (version_ == "HTTP/1.1" || keepAlive_);
}

// A request line that has not ended yet can still become one while what
// stands before its first blank is capital letters.
bool HttpRequest::MethodCanStart(std::string_view line) const
{
    const size_t end = std::min(line.find_first_of(" \t\r"), line.size());
    return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(end), IsMethodLetter)
        && (end > 0 || end == line.size());
}

// Method, target and version, one blank between them.
bool HttpRequest::ReadRequestLine(std::string_view line)
{
    const std::vector<std::string_view> words = Split(line, IsBlank);
    if (words.size() != 3 || words[0].empty() || words[1].empty()
        || !std::all_of(words[0].begin(), words[0].end(), IsMethodLetter)
        || !std::all_of(words[1].begin(), words[1].end(), IsTargetCharacter)
        || (words[2] != "HTTP/1.0" && words[2] != "HTTP/1.1"))
        return false;
    method_ = words[0];
    target_ = words[1];
    version_ = words[2];
    return true;
}

// Headers other than these are read past; a line that is no header, or a
// header name with blanks in it, makes the request bad.
bool HttpRequest::ReadHeader(std::string_view line)
{
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (std::any_of(name.begin(), name.end(), IsBlank))
        return false;
    if (SameIgnoringCase(name, "Connection")) {
        for (std::string_view token : Split(value, [](char c) { return c == ','; })) {
            close_ = close_ || SameIgnoringCase(Trim(token), "close");
            keepAlive_ = keepAlive_ || SameIgnoringCase(Trim(token), "keep-alive");
        }
    } else if (SameIgnoringCase(name, "Content-Length")) {
        hasBody_ = hasBody_ || value.find_first_not_of('0') != std::string_view::npos;
    } else if (SameIgnoringCase(name, "Transfer-Encoding")) {
        hasBody_ = true;
    }
    return true;
}
