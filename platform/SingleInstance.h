#pragma once

#include <string>

// The single-instance test, for the whole machine: one monitor per
// configuration file, whoever starts it, since the configuration, the
// status ports and the printer devices are the machine's. The first
// instance binds an abstract Unix-domain socket named after the
// configuration file's real path and holds it for the rest of its life.
// Every user sees the same names (per network namespace), no file is
// involved whose permissions could shut another user out, and the kernel
// frees the name when the process ends, however it ends. The entry asks
// it before anything else.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& configurationPath);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another instance holds the name.
    bool AnotherIsRunning() const { return another_; }

    // The socket's abstract name, without its leading NUL: the program's
    // title and a SHA-256 of the configuration file's real path (the path
    // as given when it cannot be resolved).
    static std::string SocketName(const std::string& configurationPath);

private:
    int fd_ = -1;
    bool another_ = false;
};
