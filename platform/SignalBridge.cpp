#include "platform/SignalBridge.h"

#include "platform/StandardError.h"

#include <QSocketNotifier>
#include <pthread.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's write end, the one thing the handler touches.
volatile sig_atomic_t writeFd = -1;

void OnSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // The pipe does not block: when it is full, a byte is already waiting
    // and the event loop will come for it.
    const ssize_t ignored = write(writeFd, &byte, 1);
    static_cast<void>(ignored);
    errno = savedErrno;
}

}  // namespace

SignalBridge::SignalBridge(std::initializer_list<int> signalNumbers, QObject* parent) : QObject(parent)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        ReportFailedCall("pipe2", ErrnoText(errno), "signals end the program without its shutdown");
        return;
    }
    readFd_ = fds[0];
    writeFd = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::Drain);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : signalNumbers) {
        struct sigaction earlier {};
        if (sigaction(number, &action, &earlier) == 0)
            previous_.emplace_back(number, earlier);
        else
            ReportFailedCall("sigaction(" + std::to_string(number) + ")", ErrnoText(errno));
    }
}

// A parent may hand the program these signals ignored or blocked (weston's
// autolaunch blocks SIGTERM and SIGINT, and so may any launcher or script):
// a blocked signal stays pending for ever, and kill or the package's removal
// would leave the monitor running.
void SignalBridge::RestoreDefaults(std::initializer_list<int> signalNumbers)
{
    sigset_t wanted;
    sigemptyset(&wanted);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int number : signalNumbers) {
        sigaddset(&wanted, number);
        if (sigaction(number, &byDefault, nullptr) != 0)
            ReportFailedCall("sigaction(" + std::to_string(number) + ", SIG_DFL)", ErrnoText(errno));
    }
    const int error = pthread_sigmask(SIG_UNBLOCK, &wanted, nullptr);
    if (error != 0)
        ReportFailedCall("pthread_sigmask(SIG_UNBLOCK)", ErrnoText(error), "a blocked signal stays pending");
}

SignalBridge::~SignalBridge()
{
    for (const auto& [number, earlier] : previous_)
        sigaction(number, &earlier, nullptr);
    if (readFd_ < 0)
        return;
    delete notifier_;
    close(writeFd);
    writeFd = -1;
    close(readFd_);
}

void SignalBridge::Drain()
{
    unsigned char numbers[64];
    const ssize_t count = read(readFd_, numbers, sizeof numbers);
    for (ssize_t i = 0; i < count; ++i)
        emit Received(numbers[i]);
}
