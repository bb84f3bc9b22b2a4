#include "tools/printer-sim/PrinterSimulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Written by the signal handler, read by the loop: SIGINT and SIGTERM end
// the simulator from its own loop, never inside the handler.
int gSignalPipe[2] = {-1, -1};

// Long answers (garbage) and long junk from a client are cut short in the
// log; the count still shows their size.
constexpr size_t kMaxLoggedBytes = 32;

void OnSignal(int)
{
    int saved = errno;
    [[maybe_unused]] ssize_t written = ::write(gSignalPipe[1], "x", 1);
    errno = saved;
}

bool SetFlags(int fd, int statusFlags)
{
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | statusFlags) == 0
        && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool InstallSignalHandling()
{
    if (gSignalPipe[0] < 0 && ::pipe(gSignalPipe) != 0)
        return false;
    SetFlags(gSignalPipe[0], O_NONBLOCK);
    SetFlags(gSignalPipe[1], O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client that vanishes mid-write must not end the simulator, and a
    // simulator started in the background of a terminal must not be stopped
    // for reading it: the read fails instead and standard input is dropped.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
    return true;
}

std::string AddressText(const sockaddr_in& address)
{
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

sockaddr_in ToSockaddr(const TcpAddress& tcp)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(tcp.port);
    inet_pton(AF_INET, tcp.host.c_str(), &address.sin_addr);
    return address;
}

std::string LoggedHex(const Bytes& bytes)
{
    if (bytes.size() <= kMaxLoggedBytes)
        return FormatHex(bytes);
    return FormatHex(Bytes(bytes.begin(), bytes.begin() + kMaxLoggedBytes)) + " ... ("
        + std::to_string(bytes.size()) + " bytes)";
}

int MillisecondsUntil(Clock::time_point due, Clock::time_point now)
{
    if (due <= now)
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

}

PrinterSimulator::PrinterSimulator(SimulatorOptions options)
    : options_(std::move(options)),
      stdin_("stdin"),
      script_(options_.script),
      readingStdin_(options_.readStdin)
{
    for (const PrinterOptions& printer : options_.printers) {
        printers_.emplace_back(printer.name);
        names_.push_back(printer.name);
    }
}

PrinterSimulator::~PrinterSimulator()
{
    connections_.clear();
    for (Listener& listener : listeners_) {
        if (listener.fd >= 0)
            ::close(listener.fd);
    }
    for (Pty& pty : ptys_)
        ::close(pty.slave);
}

int PrinterSimulator::Run()
{
    if (!Start())
        return 1;
    while (!quit_) {
        const TimePoint now = Clock::now();
        RunDueCommands(now);
        if (quit_)
            break;
        ReleaseDueAnswers(now);
        Sweep();
        WaitAndDispatch(PollTimeoutMs(now));
        Sweep();
    }
    return 0;
}

bool PrinterSimulator::Start()
{
    if (!InstallSignalHandling()) {
        Complain(std::string("pipe: ") + std::strerror(errno));
        return false;
    }
    for (size_t i = 0; i < options_.printers.size(); ++i) {
        for (const TcpAddress& tcp : options_.printers[i].tcp) {
            listeners_.push_back({i, ToSockaddr(tcp), -1});
            if (!OpenListener(listeners_.back()))
                return false;
        }
        if (options_.printers[i].pty && !OpenPty(i))
            return false;
    }
    std::string error;
    if (!options_.script.empty() && !script_.LoadFile(options_.script, error)) {
        Complain(error);
        return false;
    }
    Say("ready");
    if (readingStdin_)
        Trace("type help for the commands");
    return true;
}

bool PrinterSimulator::OpenListener(Listener& listener)
{
    const std::string where = NameOf(listener.printer) + ": " + AddressText(listener.address);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Complain(where + ": socket: " + std::strerror(errno));
        return false;
    }
    // The port can be taken again at once after stop listening, even while
    // old connections linger in TIME_WAIT.
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof listener.address;
    const char* failed = nullptr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&listener.address), sizeof listener.address) != 0)
        failed = "bind";
    else if (::listen(fd, 16) != 0)
        failed = "listen";
    else if (getsockname(fd, reinterpret_cast<sockaddr*>(&listener.address), &length) != 0)
        failed = "getsockname";
    if (failed) {
        Complain(where + ": " + failed + ": " + std::strerror(errno));
        ::close(fd);
        return false;
    }
    listener.fd = fd;
    Say(NameOf(listener.printer) + " tcp " + AddressText(listener.address));
    return true;
}

bool PrinterSimulator::OpenPty(size_t printer)
{
    int master = -1;
    int slave = -1;
    char path[256] = "";
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        Complain(NameOf(printer) + ": openpty: " + std::strerror(errno));
        return false;
    }
    // Raw, so that no byte of a request or an answer is translated or
    // echoed. The simulator keeps the slave open itself: the master then
    // never sees a hangup when the monitor closes the port after a poll.
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
    SetFlags(master, O_NONBLOCK);
    SetFlags(slave, 0);
    ptys_.push_back({printer, slave});
    connections_.push_back(
        std::make_unique<ClientConnection>(master, printer, ClientConnection::Kind::Pty, path));
    Say(NameOf(printer) + " pty " + path);
    return true;
}

void PrinterSimulator::PollSet::Add(int fd, short events, Watched what, size_t index)
{
    fds.push_back({fd, events, 0});
    owners.emplace_back(what, index);
}

PrinterSimulator::PollSet PrinterSimulator::BuildPollSet() const
{
    PollSet set;
    set.Add(gSignalPipe[0], POLLIN, Watched::SignalPipe, 0);
    if (readingStdin_)
        set.Add(STDIN_FILENO, POLLIN, Watched::Stdin, 0);
    for (size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i].fd >= 0)
            set.Add(listeners_[i].fd, POLLIN, Watched::Listener, i);
    }
    for (size_t i = 0; i < connections_.size(); ++i) {
        const ClientConnection& connection = *connections_[i];
        short events = static_cast<short>(POLLIN | (connection.WantsWrite() ? POLLOUT : 0));
        set.Add(connection.Fd(), events, Watched::Connection, i);
    }
    return set;
}

int PrinterSimulator::PollTimeoutMs(TimePoint now) const
{
    std::optional<TimePoint> next;
    auto consider = [&](std::optional<TimePoint> due) {
        if (due && (!next || *due < *next))
            next = due;
    };
    consider(stdin_.WakeTime());
    consider(script_.WakeTime());
    for (const auto& connection : connections_)
        consider(connection->NextDue());
    return next ? MillisecondsUntil(*next, now) : -1;
}

void PrinterSimulator::WaitAndDispatch(int timeoutMs)
{
    PollSet set = BuildPollSet();
    int ready = ::poll(set.fds.data(), set.fds.size(), timeoutMs);
    if (ready < 0) {
        if (errno != EINTR)
            Complain(std::string("poll: ") + std::strerror(errno));
        return;
    }
    // Connections accepted while dispatching are appended to connections_;
    // the indices in the set stay valid because nothing is removed before
    // Sweep.
    for (size_t i = 0; i < set.fds.size() && !quit_; ++i) {
        if (set.fds[i].revents != 0)
            Dispatch(set.owners[i].first, set.owners[i].second, set.fds[i].revents);
    }
}

void PrinterSimulator::Dispatch(Watched what, size_t index, short revents)
{
    switch (what) {
    case Watched::SignalPipe:
        Trace("signal received, ending");
        quit_ = true;
        break;
    case Watched::Stdin:
        ReadStdin();
        break;
    case Watched::Listener:
        Accept(listeners_[index]);
        break;
    case Watched::Connection: {
        ClientConnection& connection = *connections_[index];
        if (revents & POLLNVAL)
            connection.MarkClosed();
        if ((revents & (POLLIN | POLLHUP | POLLERR)) && !connection.Closed())
            ReadFrom(connection);
        if ((revents & POLLOUT) && !connection.Closed() && !connection.Flush())
            connection.MarkClosed();
        break;
    }
    }
}

void PrinterSimulator::Accept(Listener& listener)
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR
                && errno != ECONNABORTED)
                Complain(NameOf(listener.printer) + ": accept: " + std::strerror(errno));
            return;
        }
        const std::string& name = NameOf(listener.printer);
        if (printers_[listener.printer].HangsUpOnConnect()) {
            Trace(name + " closes the connection from " + AddressText(peer) + " at once");
            ::close(fd);
            continue;
        }
        Trace(name + " connection from " + AddressText(peer));
        connections_.push_back(std::make_unique<ClientConnection>(
            fd, listener.printer, ClientConnection::Kind::Tcp, AddressText(peer)));
    }
}

void PrinterSimulator::ReadStdin()
{
    char buffer[4096];
    ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count > 0)
        stdin_.Feed(buffer, static_cast<size_t>(count));
    else if (count == 0)
        StopReadingStdin("standard input ended");
    else if (errno != EAGAIN && errno != EINTR)
        StopReadingStdin(std::string("standard input unreadable (") + std::strerror(errno) + ")");
}

void PrinterSimulator::StopReadingStdin(const std::string& why)
{
    stdin_.Finish();
    readingStdin_ = false;
    Trace(why + "; serving on until quit, SIGINT or SIGTERM");
}

void PrinterSimulator::ReadFrom(ClientConnection& connection)
{
    const std::string& name = NameOf(connection.Printer());
    ClientConnection::ReadResult result = connection.Read();
    for (const RequestScanner::Piece& piece : result.pieces) {
        if (connection.Closed())
            break;
        if (piece.request) {
            Trace(name + " <- " + FormatHex(piece.bytes));
            HandleRequest(connection);
        } else {
            Trace(name + " <- " + LoggedHex(piece.bytes) + " (not a status request, ignored)");
        }
    }
    if (!result.ended || connection.Closed())
        return;
    if (connection.GetKind() == ClientConnection::Kind::Pty)
        Complain(name + ": pseudo-terminal " + connection.Peer() + " failed: " + result.error);
    else
        Trace(name + " connection from " + connection.Peer() + " ended"
              + (result.error.empty() ? "" : " (" + result.error + ")"));
    connection.MarkClosed();
}

void PrinterSimulator::HandleRequest(ClientConnection& connection)
{
    const SimulatedPrinter& printer = printers_[connection.Printer()];
    const std::string& name = printer.Name();
    const bool pty = connection.GetKind() == ClientConnection::Kind::Pty;
    if (!printer.Listening()) {
        Trace(name + " is not listening, no answer");
        return;
    }
    Reply reply = printer.ReplyToRequest();
    if (reply.kind == Reply::Kind::Nothing) {
        Trace(name + " stays silent");
    } else if (reply.kind == Reply::Kind::HangUp && pty) {
        Trace(name + " cannot hang up a pseudo-terminal, no answer");
    } else if (reply.kind == Reply::Kind::HangUp) {
        Trace(name + " closes the connection from " + connection.Peer() + " without answering");
        connection.MarkClosed();
    } else if (reply.delayMs > 0) {
        Trace(name + " holds the answer back " + std::to_string(reply.delayMs) + " ms");
        connection.Schedule(Clock::now() + std::chrono::milliseconds(reply.delayMs),
                            std::move(reply.bytes));
    } else {
        SendAnswer(connection, reply.bytes);
    }
}

void PrinterSimulator::SendAnswer(ClientConnection& connection, const Bytes& bytes)
{
    const std::string& name = NameOf(connection.Printer());
    if (!connection.Queue(bytes)) {
        Complain(name + ": " + connection.Peer() + " reads nothing; answer dropped");
        return;
    }
    Trace(name + " -> " + LoggedHex(bytes));
    if (!connection.Flush()) {
        Trace(name + " connection from " + connection.Peer() + " is gone");
        connection.MarkClosed();
    }
}

void PrinterSimulator::ReleaseDueAnswers(TimePoint now)
{
    // A printer that stopped listening meanwhile has gone away: what it
    // held back is dropped with it.
    for (auto& connection : connections_) {
        const bool listening = printers_[connection->Printer()].Listening();
        for (const Bytes& bytes : connection->TakeDue(now)) {
            if (listening && !connection->Closed())
                SendAnswer(*connection, bytes);
        }
    }
}

void PrinterSimulator::Sweep()
{
    std::erase_if(connections_, [](const auto& connection) { return connection->Closed(); });
}

void PrinterSimulator::RunDueCommands(TimePoint now)
{
    for (CommandSource* source : {&script_, &stdin_}) {
        while (!quit_) {
            std::optional<std::string> line = source->Next(now);
            if (!line)
                break;
            ParsedLine parsed = SimulatorCommands::Parse(*line, names_);
            if (parsed.kind == ParsedLine::Kind::Error)
                Complain(source->Location() + ": " + parsed.error);
            else if (parsed.kind == ParsedLine::Kind::Command)
                Execute(parsed.command, *source);
        }
    }
}

void PrinterSimulator::Execute(const SimulatorCommand& command, CommandSource& source)
{
    switch (command.action) {
    case CommandAction::Sleep:
        source.SleepUntil(Clock::now() + std::chrono::milliseconds(command.amount));
        return;
    case CommandAction::Help:
        Say(SimulatorCommands::HelpText());
        return;
    case CommandAction::Quit:
        quit_ = true;
        return;
    default:
        break;
    }
    for (size_t i = 0; i < printers_.size(); ++i) {
        if (command.printer.empty() || command.printer == NameOf(i)) {
            Apply(i, command);
            Say(NameOf(i) + " answers " + printers_[i].Describe());
        }
    }
}

void PrinterSimulator::Apply(size_t printer, const SimulatorCommand& command)
{
    SimulatedPrinter& target = printers_[printer];
    switch (command.action) {
    case CommandAction::SetFault: target.SetFault(command.fault, true); break;
    case CommandAction::ClearFault: target.SetFault(command.fault, false); break;
    case CommandAction::AllWell: target.AllWell(); break;
    case CommandAction::Raw: target.SetRaw(command.bytes); break;
    case CommandAction::Behave: target.SetBehaviour(command.behaviour, command.amount); break;
    case CommandAction::StopListening: StopListening(printer); break;
    case CommandAction::Listen: Listen(printer); break;
    default: break;
    }
}

void PrinterSimulator::StopListening(size_t printer)
{
    printers_[printer].SetListening(false);
    for (Listener& listener : listeners_) {
        if (listener.printer == printer && listener.fd >= 0) {
            ::close(listener.fd);
            listener.fd = -1;
            Trace(NameOf(printer) + " stopped listening on " + AddressText(listener.address));
        }
    }
    for (auto& connection : connections_) {
        if (connection->Printer() == printer && connection->GetKind() == ClientConnection::Kind::Tcp)
            connection->MarkClosed();
    }
}

void PrinterSimulator::Listen(size_t printer)
{
    printers_[printer].SetListening(true);
    for (Listener& listener : listeners_) {
        if (listener.printer == printer && listener.fd < 0)
            OpenListener(listener);
    }
}

void PrinterSimulator::Say(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    if (line.empty() || line.back() != '\n')
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrinterSimulator::Trace(const std::string& line)
{
    if (!options_.quiet)
        Say(line);
}

void PrinterSimulator::Complain(const std::string& line)
{
    std::fprintf(stderr, "q62m-printer-sim: %s\n", line.c_str());
    std::fflush(stderr);
}
