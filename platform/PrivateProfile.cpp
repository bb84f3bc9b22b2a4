#include "platform/PrivateProfile.h"

#include "runtime/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>

namespace {

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}


std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Opened without blocking (a FIFO's open would wait for a writer) and read
// only when it is a regular file within the limit, into `content` if given.
ProfileFile ReadProfileFile(const std::string& fileName, std::string* content)
{
    const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return ProfileFile::Missing;
    ProfileFile result = ProfileFile::Missing;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        result = static_cast<size_t>(info.st_size) > kProfileFileLimit ? ProfileFile::TooLarge : ProfileFile::Readable;
        if (result == ProfileFile::Readable && content) {
            // One byte more than the file's size tells a file that grew
            // meanwhile; it is read on to the limit and a byte beyond.
            content->resize(std::min(static_cast<size_t>(info.st_size), kProfileFileLimit) + 1);
            size_t got = 0;
            ssize_t n = 0;
            while ((n = read(fd, content->data() + got, content->size() - got)) != 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    break;
                got += static_cast<size_t>(n);
                if (got == content->size() && got <= kProfileFileLimit)
                    content->resize(std::min(2 * got, kProfileFileLimit + 1));
                else if (got == content->size())
                    break;
            }
            content->resize(got);
            if (n < 0)
                result = ProfileFile::Missing;
            else if (got > kProfileFileLimit)
                result = ProfileFile::TooLarge;
        }
    }
    close(fd);
    return result;
}

std::optional<std::string> FindValue(const std::string& section, const std::string& key,
                                     const std::string& fileName)
{
    std::string content;
    if (ReadProfileFile(fileName, &content) != ProfileFile::Readable)
        return std::nullopt;
    std::istringstream in(content);
    const std::string wantedSection = Trim(section);
    const std::string wantedKey = Trim(key);
    bool inSection = false;
    bool sectionSeen = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            continue;
        if (text[0] == '[') {
            const size_t close = text.find(']');
            const std::string name = Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            if (inSection)
                sectionSeen = true;
            inSection = !sectionSeen && SameIgnoringCase(name, wantedSection);
            continue;
        }
        if (!inSection)
            continue;
        const size_t equals = text.find('=');
        if (equals == std::string::npos)
            continue;
        if (SameIgnoringCase(Trim(text.substr(0, equals)), wantedKey))
            return Unquote(Trim(text.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace

ProfileFile CheckProfileFile(const std::string& fileName)
{
    return ReadProfileFile(fileName, nullptr);
}

size_t GetPrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, char* buffer, size_t size,
                               const std::string& fileName)
{
    if (size == 0)
        return 0;
    const std::string value = FindValue(section, key, fileName).value_or(defaultValue);
    const size_t n = std::min(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n;
}
