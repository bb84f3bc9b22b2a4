#include "core/INIHandler.h"

#include "platform/PrivateProfile.h"

#include <algorithm>
#include <cctype>

namespace INIHandler {

std::string ReadINIValue(const std::string& section, const std::string& key,
                         const std::string& file, const std::string& defaultValue)
{
    std::string buffer(750, '\0');
    std::string lowerKey = key;
    std::transform(lowerKey.begin(), lowerKey.end(), lowerKey.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const size_t copied = GetPrivateProfileString(section, lowerKey, defaultValue, buffer.data(),
                                                  buffer.size(), file);
    return buffer.substr(0, copied);
}

}  // namespace INIHandler
