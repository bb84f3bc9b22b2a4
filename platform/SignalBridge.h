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

signals:
    void Received(int signalNumber);

private:
    void Drain();

    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, struct sigaction>> previous_;
};
