#pragma once

#include "tools/printer-sim/ClientConnection.h"
#include "tools/printer-sim/CommandSource.h"
#include "tools/printer-sim/SimulatedPrinter.h"
#include "tools/printer-sim/SimulatorCommands.h"
#include "tools/printer-sim/SimulatorOptions.h"

#include <memory>
#include <netinet/in.h>
#include <poll.h>

// Serves the simulated printers: their listening sockets, the accepted
// connections, their pseudo-terminals, standard input and the script, all
// from one poll() loop on one thread. It logs each request and answer on
// standard output and complaints on standard error. main creates it with the
// parsed command line; Run returns the process's exit code.
class PrinterSimulator {
public:
    explicit PrinterSimulator(SimulatorOptions options);
    ~PrinterSimulator();
    PrinterSimulator(const PrinterSimulator&) = delete;
    PrinterSimulator& operator=(const PrinterSimulator&) = delete;

    int Run();

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Listener {
        size_t printer;
        sockaddr_in address;
        int fd = -1;
    };
    struct Pty {
        size_t printer;
        int slave;
    };
    enum class Watched { SignalPipe, Stdin, Listener, Connection };
    struct PollSet {
        std::vector<pollfd> fds;
        std::vector<std::pair<Watched, size_t>> owners;
        void Add(int fd, short events, Watched what, size_t index);
    };

    bool Start();
    bool OpenListener(Listener& listener);
    bool OpenPty(size_t printer);

    void WaitAndDispatch(int timeoutMs);
    PollSet BuildPollSet() const;
    int PollTimeoutMs(TimePoint now) const;
    void Dispatch(Watched what, size_t index, short revents);
    void Accept(Listener& listener);
    void ReadStdin();
    void StopReadingStdin(const std::string& why);
    void ReadFrom(ClientConnection& connection);
    void HandleRequest(ClientConnection& connection);
    void SendAnswer(ClientConnection& connection, const Bytes& bytes);
    void ReleaseDueAnswers(TimePoint now);
    void Sweep();

    void RunDueCommands(TimePoint now);
    void Execute(const SimulatorCommand& command, CommandSource& source);
    void Apply(size_t printer, const SimulatorCommand& command);
    void StopListening(size_t printer);
    void Listen(size_t printer);

    const std::string& NameOf(size_t printer) const { return printers_[printer].Name(); }
    void Say(const std::string& line);
    void Trace(const std::string& line);
    void Complain(const std::string& line);

    SimulatorOptions options_;
    std::vector<SimulatedPrinter> printers_;
    std::vector<std::string> names_;
    std::vector<Listener> listeners_;
    std::vector<Pty> ptys_;
    std::vector<std::unique_ptr<ClientConnection>> connections_;
    CommandSource stdin_;
    CommandSource script_;
    bool readingStdin_;
    bool quit_ = false;
};
