#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An IPv4 address and port to listen on, as given on the command line.
struct TcpAddress {
    std::string host;  // dotted quad
    uint16_t port = 0; // 0: the system picks a free port
};

struct PrinterOptions {
    std::string name;
    std::vector<TcpAddress> tcp;
    bool pty = false;
};

// The simulator's command line. Each --printer starts a new printer, and the
// --tcp and --pty options after it belong to it; --tcp or --pty before any
// --printer belong to the default printer "printer1". A printer given
// neither listens on 127.0.0.1 at 9100 plus its position (9100, 9101, ...).
// Read once by main before the simulator starts.
class SimulatorOptions {
public:
    static constexpr uint16_t kFirstDefaultPort = 9100;

    // Empty, with `error` set, when the arguments (without the program name)
    // are not a valid command line.
    static std::optional<SimulatorOptions> Parse(const std::vector<std::string>& args,
                                                 std::string& error);
    static const char* Usage();

    std::vector<PrinterOptions> printers;
    std::string script;
    bool quiet = false;
    bool readStdin = true;
    bool help = false;

private:
    bool AddPrinter(const std::string& name, std::string& error);
    PrinterOptions& CurrentPrinter();
    void FillDefaults();
};

// "9100", "127.0.0.1:9100" or "localhost:0". Empty when it is not one.
std::optional<TcpAddress> ParseTcpAddress(const std::string& text);
