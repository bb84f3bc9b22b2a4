#pragma once

#include <string>

// Facts about the running executable that start-up needs.

// The program's title, used on message boxes and on standard error.
inline constexpr const char* kProgramTitle = "StatusMonitorQ62m";

// Directory that holds the running executable, without a trailing slash
// (read from /proc/self/exe).
std::string ExecutableDirectory();

// The executable's file name without its extension.
std::string ExecutableBaseName();

// Path of the configuration file: the executable's directory, a slash, the
// base name and ".ini".
std::string ConfigurationPath();

// The configuration path of the executable at `executablePath`, by the same
// rule.
std::string ConfigurationPathOf(const std::string& executablePath);
