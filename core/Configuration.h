#pragma once

#include "printer/PrinterEntry.h"

#include <cstdint>
#include <string>

// Reading and normalising the configuration file. The main window's load
// calls these in turn while it builds its columns and status servers.
// Every key is read with an empty default; the defaults are applied to an
// empty result, so a key present with an empty value counts as missing.
namespace Configuration {

struct General {
    int16_t PrinterCount = 1;
    int16_t UpdateInterval = 3;
    // The address the status servers bind; empty: every local address.
    std::string StatusServerAddress;
};

// Why the file cannot be read, as start-up tells it, or empty text when it
// can: a regular file within the size limit (it is closed again at once).
// Anything else counts as missing ("Unable to open ini file!") or too large.
std::string FileProblem(const std::string& file);

// Printers (at least 1), UpdateInterval (1 to 3600, else 3) and
// StatusServerAddress of section General. Raises overflow for values
// outside 16 bits, a type mismatch for an address that is not a dotted IPv4
// address.
General ReadGeneral(const std::string& file);

// The metrics endpoint of section General, read after every other key:
// MetricsPort (1 to 65535, else 0: no endpoint) and MetricsAddress (empty:
// every local address). A MetricsAddress that is not a dotted IPv4 address
// raises a type mismatch, whether or not there is a port.
struct Metrics {
    int32_t Port = 0;
    std::string Address;
};
Metrics ReadMetrics(const std::string& file);

// "Printer" followed by index + 1.
std::string SectionName(int16_t index);

// Port, Name and StatusServerSocket of the printer with `index`. Raises a
// type mismatch for a Port that is not a number, overflow for one outside
// 16 bits.
void ReadPrinterIdentity(const std::string& file, int16_t index, PrinterEntry& entry);

// The keys of the printer's transport, then its PortLabel. A network
// printer whose IP is too short to be tried is named on standard error.
void ReadPrinterTransport(const std::string& file, int16_t index, PrinterEntry& entry);

// What the port label shows: PortLabel, followed by " [port]" when the
// printer has a status server port.
std::string PortLabelCaption(const PrinterEntry& entry);

}  // namespace Configuration
