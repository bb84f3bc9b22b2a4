#include "core/INIHandler.h"

#include "runtime/AsciiCase.h"
#include "platform/PrivateProfile.h"

#include <algorithm>
#include <cctype>

namespace INIHandler {

std::string ReadINIValue(const std::string& section, const std::string& key,
                         const std::string& file, const std::string& defaultValue)
{
    std::string buffer(750, '\0');
    const std::string lowerKey = AsciiLower(key);
    const size_t copied = GetPrivateProfileString(section, lowerKey, defaultValue, buffer.data(),
                                                  buffer.size(), file);
    return buffer.substr(0, copied);
}

}  // namespace INIHandler
