#pragma once

#include <memory>
#include <string>

class QSocketNotifier;

// The single-instance test, for the whole machine: one monitor per
// configuration file, whoever starts it, since the configuration, the
// status ports and the printer devices are the machine's. The entry asks
// it before anything else, and it holds what it took for the rest of the
// process's life; the kernel lets go of both however the process ends.
//
// Where the package made kLockDirectory (open to root and the group that
// may use the printers' serial devices), the monitor takes an exclusive
// lock on a file there named after a SHA-256 of the configuration file's
// real path: a user outside that group cannot take it first. Elsewhere (a
// copy of the executable outside the package) an abstract Unix-domain
// socket of that name stands in; any user can bind such a name, so there
// the test only tells a squatter apart and says so. The monitor binds the
// name in both cases and listens on it, so that a newcomer can learn from
// the kernel which process holds it.
//
// User-interface thread only.
class SingleInstance {
public:
    static constexpr const char* kLockDirectory = "/run/statusmonitorq62m";

    enum class Answer {
        Alone,           // this monitor holds the lock or the name, or could not check
        AnotherMonitor,  // a monitor of this configuration holds it
        HeldByOther,     // something that is no monitor of this configuration holds it; told
    };

    explicit SingleInstance(const std::string& configurationPath);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Answer Result() const { return answer_; }

    // Takes and closes the connections of newcomers that ask who holds the
    // name. Once the application object exists.
    void AnswerNewcomers();

private:
    bool TakeLock(const std::string& lockPath);
    void TakeName(const std::string& name);
    void AcceptNewcomer();

    std::string configuration_;
    int lockFd_ = -1;
    int nameFd_ = -1;
    Answer answer_ = Answer::Alone;
    std::unique_ptr<QSocketNotifier> newcomers_;
};
