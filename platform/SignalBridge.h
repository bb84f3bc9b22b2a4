#pragma once

#include <QObject>
#include <csignal>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns process signals into an event on the user-interface thread. The
// signal handler only writes the signal's number into a pipe; a socket
// notifier on the pipe's read end raises Received when the event loop (or a
// wait that pumps events) runs, so whatever the signal asks for runs as
// ordinary code and never inside the handler. The entry creates one for
// SIGTERM, SIGINT and SIGHUP; at most one exists at a time. Destroying it
// puts the earlier dispositions back.
class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalBridge() override;

    SignalBridge(const SignalBridge&) = delete;
    SignalBridge& operator=(const SignalBridge&) = delete;

    // Puts back the default disposition of each signal and unblocks it on the
    // calling thread, so that what a parent ignored or blocked does not carry
    // over into the monitor. The entry calls it first thing, before any thread
    // exists that would inherit the mask.
    static void RestoreDefaults(std::initializer_list<int> signalNumbers);

signals:
    void Received(int signalNumber);

private:
    void Drain();

    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, struct sigaction>> previous_;
};
