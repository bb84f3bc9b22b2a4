#include "platform/SingleInstance.h"

#include "platform/ProgramInfo.h"
#include "platform/StandardError.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

std::string FirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string ProcPath(pid_t pid, const char* entry)
{
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

sockaddr_un AbstractAddress(const std::string& name, socklen_t& length)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // sun_path[0] stays NUL: the name lives in the abstract namespace.
    std::memcpy(address.sun_path + 1, name.data(), std::min(name.size(), sizeof address.sun_path - 1));
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return address;
}

// A process that runs a monitor of the configuration at `realConfiguration`:
// its executable names it, as this one's does. Another user's executable
// cannot be read; then its name is all there is to go by.
bool IsMonitorOf(pid_t pid, const std::string& realConfiguration)
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink(ProcPath(pid, "exe").c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return FirstLine(ProcPath(pid, "comm")) == FirstLine("/proc/self/comm");
    std::string executable(buffer, static_cast<size_t>(n));
    const std::string replaced = " (deleted)";
    if (executable.ends_with(replaced))
        executable.resize(executable.size() - replaced.size());
    return RealPath(ConfigurationPathOf(executable)) == realConfiguration;
}

// "process 1234 (python3) of user nobody", as far as this user may see.
std::string Describe(pid_t pid)
{
    struct stat status {};
    if (pid <= 0 || stat(ProcPath(pid, "").c_str(), &status) != 0)
        return "a process that this user cannot see";
    const passwd* user = getpwuid(status.st_uid);
    return "process " + std::to_string(pid) + " (" + FirstLine(ProcPath(pid, "comm")) + ") of user "
         + (user ? std::string(user->pw_name) : std::to_string(status.st_uid));
}

bool HasDescriptorOf(pid_t pid, const std::string& target)
{
    DIR* descriptors = opendir(ProcPath(pid, "fd").c_str());
    if (!descriptors)
        return false;
    bool found = false;
    while (const dirent* fd = found ? nullptr : readdir(descriptors)) {
        char link[64];
        const ssize_t n = readlinkat(dirfd(descriptors), fd->d_name, link, sizeof link);
        found = n > 0 && std::string(link, static_cast<size_t>(n)) == target;
    }
    closedir(descriptors);
    return found;
}

// The process with a descriptor of the socket whose inode is `inode`, where
// this user may read the descriptors; 0 otherwise.
pid_t OwnerOfSocket(const std::string& inode)
{
    DIR* processes = opendir("/proc");
    if (!processes)
        return 0;
    pid_t owner = 0;
    while (const dirent* process = owner ? nullptr : readdir(processes)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(process->d_name));
        if (pid > 0 && HasDescriptorOf(pid, "socket:[" + inode + "]"))
            owner = pid;
    }
    closedir(processes);
    return owner;
}

// The process that holds the abstract name: the one that listens on it, as
// the kernel tells a connecting peer; else, for a socket that takes no
// connections, the one with a descriptor of it, where this user may look.
pid_t HolderOfName(const std::string& name)
{
    socklen_t length = 0;
    const sockaddr_un address = AbstractAddress(name, length);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ucred peer{};
    socklen_t size = sizeof peer;
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0
                        && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
    if (fd >= 0)
        close(fd);
    if (connected)
        return peer.pid;
    std::ifstream table("/proc/net/unix");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string field[8];
        for (std::string& f : field)
            fields >> f;
        if (field[7] == "@" + name)
            return OwnerOfSocket(field[6]);
    }
    return 0;
}

// The process that holds the flock() lock on the open file `fd`.
pid_t HolderOfLock(int fd)
{
    struct stat file {};
    if (fstat(fd, &file) != 0)
        return 0;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        int pid = 0;
        if (std::sscanf(line.c_str(), "%*d: FLOCK %*s %*s %d %x:%x:%lu", &pid, &major, &minor, &inode) == 4
            && inode == file.st_ino && makedev(major, minor) == file.st_dev)
            return pid;
    }
    return 0;
}

std::string GroupOf(const std::string& path)
{
    struct stat status {};
    const group* owner = stat(path.c_str(), &status) == 0 ? getgrgid(status.st_gid) : nullptr;
    return owner ? owner->gr_name : "its group";
}

}  // namespace

SingleInstance::SingleInstance(const std::string& configurationPath) : configuration_(RealPath(configurationPath))
{
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(configuration_), QCryptographicHash::Sha256);
    const std::string hex = hash.toHex().toStdString();
    std::string lockPath(kLockDirectory);
    lockPath.append("/").append(hex).append(".lock");
    std::string name(kProgramTitle);
    name.append("/").append(hex);
    if (TakeLock(lockPath))
        TakeName(name);
}

SingleInstance::~SingleInstance()
{
    newcomers_.reset();
    if (nameFd_ >= 0)
        close(nameFd_);
    if (lockFd_ >= 0)
        close(lockFd_);
}

// False when the answer is decided here; true when the lock is this
// monitor's or there is no lock directory to take one in.
bool SingleInstance::TakeLock(const std::string& lockPath)
{
    // Non-blocking, so that a FIFO put in the file's place cannot hold the
    // open; the mode lets the group's other members open it in their turn.
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0660);
    // A lock is taken as well through a descriptor that only reads.
    if (fd < 0 && errno == EACCES)
        fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        // A monitor of a user outside the group still runs, as it did before
        // the package kept the lock there: refusing it would stop the
        // monitoring of every kiosk whose user is not in the group.
        if (error == EACCES && access(kLockDirectory, W_OK | X_OK) != 0) {
            ReportFailedCall("open(" + lockPath + ")", ErrnoText(error),
                             "only root and members of group " + GroupOf(kLockDirectory)
                                 + " hold the lock; relying on the abstract name alone, which any user can take");
            return true;
        }
        if (error == EACCES) {
            ReportFailedCall("open(" + lockPath + ")", ErrnoText(error),
                             "another member of the group made the file, closed to this user");
            answer_ = Answer::HeldByOther;
            return false;
        }
        if (error != ENOENT)
            ReportFailedCall("open(" + lockPath + ")", ErrnoText(error), "relying on the abstract name alone");
        return true;
    }
    struct stat file {};
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        ReportLine(lockPath + " is not a regular file; relying on the abstract name alone");
        close(fd);
        return true;
    }
    if (file.st_uid == geteuid())
        fchmod(fd, 0660);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = fd;
        return true;
    }
    const int error = errno;
    const pid_t holder = error == EWOULDBLOCK ? HolderOfLock(fd) : 0;
    close(fd);
    if (error != EWOULDBLOCK) {
        ReportFailedCall("flock(" + lockPath + ")", ErrnoText(error), "relying on the abstract name alone");
        return true;
    }
    if (holder > 0 && IsMonitorOf(holder, configuration_)) {
        answer_ = Answer::AnotherMonitor;
    } else {
        ReportLine("the single-instance lock " + lockPath + " is held by " + Describe(holder)
                   + ", which is no monitor of this configuration");
        answer_ = Answer::HeldByOther;
    }
    return false;
}

void SingleInstance::TakeName(const std::string& name)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        // Without the socket the test cannot be made; running is better than
        // refusing to monitor at all.
        ReportFailedCall("socket(AF_UNIX)", ErrnoText(errno), "not checking for another instance");
        return;
    }
    socklen_t length = 0;
    const sockaddr_un address = AbstractAddress(name, length);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 && listen(fd, 16) == 0) {
        nameFd_ = fd;
        return;
    }
    const int error = errno;
    close(fd);
    if (error != EADDRINUSE) {
        ReportFailedCall("bind(@" + name + ")", ErrnoText(error), "not checking for another instance");
        return;
    }
    const pid_t holder = HolderOfName(name);
    if (holder > 0 && IsMonitorOf(holder, configuration_)) {
        answer_ = Answer::AnotherMonitor;
    } else if (lockFd_ < 0) {
        ReportLine("the single-instance name @" + name + " is held by " + Describe(holder)
                   + ", which is no monitor of this configuration");
        answer_ = Answer::HeldByOther;
    }
    // With the lock taken, a squatter on the name is no obstacle.
}

void SingleInstance::AnswerNewcomers()
{
    if (nameFd_ < 0)
        return;
    newcomers_ = std::make_unique<QSocketNotifier>(nameFd_, QSocketNotifier::Read);
    QObject::connect(newcomers_.get(), &QSocketNotifier::activated, newcomers_.get(), [this] { AcceptNewcomer(); });
}

// The connection has told the newcomer all it needs: the kernel hands it
// this process's credentials at connect.
void SingleInstance::AcceptNewcomer()
{
    const int fd = accept4(nameFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return;
    }
    if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
        return;
    // Out of descriptors, say: a connection left waiting would wake the
    // loop again and again, so accepting rests for a second.
    newcomers_->setEnabled(false);
    QTimer::singleShot(1000, newcomers_.get(), [notifier = newcomers_.get()] { notifier->setEnabled(true); });
}
