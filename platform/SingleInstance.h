#pragma once

#include <string>

// The single-instance test: an exclusive lock on a file named after the
// executable's base name in $XDG_RUNTIME_DIR (else /tmp, with the user id in
// the name). The first instance holds the lock for the rest of its life.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& baseName);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another instance holds the lock.
    bool AnotherIsRunning() const { return another_; }

    // Path of the lock file.
    static std::string LockPath(const std::string& baseName);

private:
    int fd_ = -1;
    bool another_ = false;
};
