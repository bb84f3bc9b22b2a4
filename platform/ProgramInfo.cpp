#include "platform/ProgramInfo.h"

#include <climits>
#include <unistd.h>

namespace {

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string BaseName(const std::string& path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? std::string(kProgramTitle) : name;
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::string ExecutableDirectory()
{
    return DirectoryOf(ExecutablePath());
}

std::string ExecutableBaseName()
{
    return BaseName(ExecutablePath());
}

std::string ConfigurationPath()
{
    return ConfigurationPathOf(ExecutablePath());
}

std::string ConfigurationPathOf(const std::string& executablePath)
{
    std::string dir = DirectoryOf(executablePath);
    if (dir != "/")
        dir += '/';
    return dir + BaseName(executablePath) + ".ini";
}
