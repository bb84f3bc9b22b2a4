#include "tools/printer-sim/SimulatorOptions.h"

#include "tools/printer-sim/SimulatorCommands.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>

namespace {

const char kDefaultPrinter[] = "printer1";
const char kLoopback[] = "127.0.0.1";

std::optional<uint16_t> ParsePort(const std::string& text)
{
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    int value = std::stoi(text);
    if (value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

bool ValidName(const std::string& name)
{
    return !name.empty() && name[0] != '#' && name[0] != '-'
        && std::none_of(name.begin(), name.end(), [](unsigned char c) { return std::isspace(c); });
}

}

std::optional<TcpAddress> ParseTcpAddress(const std::string& text)
{
    TcpAddress address{kLoopback, 0};
    std::string port = text;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.host == "localhost")
            address.host = kLoopback;
        in_addr parsed{};
        if (inet_pton(AF_INET, address.host.c_str(), &parsed) != 1)
            return std::nullopt;
    }
    std::optional<uint16_t> number = ParsePort(port);
    if (!number)
        return std::nullopt;
    address.port = *number;
    return address;
}

std::optional<SimulatorOptions> SimulatorOptions::Parse(const std::vector<std::string>& args,
                                                        std::string& error)
{
    SimulatorOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--printer" || arg == "--tcp" || arg == "--script";
        if (takesValue && i + 1 == args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (arg == "--printer") {
            if (!options.AddPrinter(args[++i], error))
                return std::nullopt;
        } else if (arg == "--tcp") {
            std::optional<TcpAddress> address = ParseTcpAddress(args[++i]);
            if (!address) {
                error = "--tcp wants [IPv4-ADDRESS:]PORT, not '" + args[i] + "'";
                return std::nullopt;
            }
            options.CurrentPrinter().tcp.push_back(*address);
        } else if (arg == "--pty") {
            options.CurrentPrinter().pty = true;
        } else if (arg == "--script") {
            options.script = args[++i];
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--no-stdin") {
            options.readStdin = false;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    options.FillDefaults();
    return options;
}

bool SimulatorOptions::AddPrinter(const std::string& name, std::string& error)
{
    if (!ValidName(name) || SimulatorCommands::IsCommandWord(name)) {
        error = "'" + name + "' cannot name a printer: use one word that is not a command";
        return false;
    }
    bool taken = std::any_of(printers.begin(), printers.end(),
                             [&](const PrinterOptions& printer) { return printer.name == name; });
    if (taken) {
        error = "printer '" + name + "' is given twice";
        return false;
    }
    printers.push_back({name, {}, false});
    return true;
}

PrinterOptions& SimulatorOptions::CurrentPrinter()
{
    if (printers.empty())
        printers.push_back({kDefaultPrinter, {}, false});
    return printers.back();
}

void SimulatorOptions::FillDefaults()
{
    CurrentPrinter();  // without any --printer, the default printer
    for (size_t i = 0; i < printers.size(); ++i) {
        if (printers[i].tcp.empty() && !printers[i].pty)
            printers[i].tcp.push_back({kLoopback, static_cast<uint16_t>(kFirstDefaultPort + i)});
    }
}

const char* SimulatorOptions::Usage()
{
    return R"(Usage: q62m-printer-sim [--printer NAME [--tcp [ADDR:]PORT]... [--pty]]...
                        [--script FILE] [--quiet] [--no-stdin]

Stands in for Kelvaran Q62M printers: each answers the status request
1D 61 01 with its four status bytes, on TCP and/or a pseudo-terminal.

  --printer NAME      start a new printer; the --tcp and --pty after it are its
  --tcp [ADDR:]PORT   listen on this IPv4 address (default 127.0.0.1) and port;
                      port 0 picks a free one
  --pty               serve on a new pseudo-terminal (use its path as Device)
  --script FILE       run the commands in FILE, in order, beside standard input
  --quiet             do not log requests, answers and connections
  --no-stdin          read no commands from standard input
  --help              show this text and the command list

Without --printer there is one printer, "printer1". A printer given neither
--tcp nor --pty listens on 127.0.0.1 at 9100 plus its position (9100, 9101...).
Each endpoint is printed on a line of its own, e.g. "printer1 tcp 127.0.0.1:9100"
or "printer1 pty /dev/pts/3". End of standard input does not end the
simulator: it serves on until "quit", SIGINT or SIGTERM.
)";
}
