#include "platform/SingleInstance.h"

#include "platform/ProgramInfo.h"
#include "platform/StandardError.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Links and relative parts resolved, so that every way of reaching one
// file (the package's link beside the executable, /etc itself) names it
// alike.
std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

}  // namespace

std::string SingleInstance::SocketName(const std::string& configurationPath)
{
    const std::string real = RealPath(configurationPath);
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(real), QCryptographicHash::Sha256);
    return std::string(kProgramTitle) + "/" + hash.toHex().toStdString();
}

SingleInstance::SingleInstance(const std::string& configurationPath)
{
    const std::string name = SocketName(configurationPath);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        // Without the socket the test cannot be made; running is better than
        // refusing to monitor at all.
        ReportFailedCall("socket(AF_UNIX)", ErrnoText(errno), "not checking for another instance");
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // sun_path[0] stays NUL: the name lives in the abstract namespace.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        close(fd);
        if (error == EADDRINUSE)
            another_ = true;
        else
            ReportFailedCall("bind(@" + name + ")", ErrnoText(error), "not checking for another instance");
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0)
        close(fd_);
}
