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

}  // namespace

std::string ExecutableDirectory()
{
    const std::string path = ExecutablePath();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ExecutableBaseName()
{
    const std::string path = ExecutablePath();
    std::string name = path.substr(path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? std::string(kProgramTitle) : name;
}

std::string ConfigurationPath()
{
    std::string dir = ExecutableDirectory();
    if (dir != "/")
        dir += '/';
    return dir + ExecutableBaseName() + ".ini";
}
