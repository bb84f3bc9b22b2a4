#pragma once

#include <string>

// The only reader of the configuration file.
namespace INIHandler {

// The value of `key` in `section` of `file`, or `defaultValue` when the
// file, the section or the key is missing. The key is looked up in lower
// case; a value keeps at most 749 characters.
std::string ReadINIValue(const std::string& section, const std::string& key,
                         const std::string& file, const std::string& defaultValue);

}  // namespace INIHandler
