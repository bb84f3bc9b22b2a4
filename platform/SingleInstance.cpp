#include "platform/SingleInstance.h"

#include "platform/StandardError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string SingleInstance::LockPath(const std::string& baseName)
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + "/" + baseName + ".lock";
    return "/tmp/" + baseName + "-" + std::to_string(getuid()) + ".lock";
}

SingleInstance::SingleInstance(const std::string& baseName)
{
    const std::string path = LockPath(baseName);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file the test cannot be made; running is better than
        // refusing to monitor at all.
        ReportFailedCall("open(" + path + ")", ErrnoText(errno), "not checking for another instance");
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        another_ = true;
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0)
        close(fd_);
}
