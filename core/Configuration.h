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
};

// True when the file can be opened for reading (it is closed again at once).
bool FileOpens(const std::string& file);

// Printers (at least 1) and UpdateInterval (1 to 3600, else 3) of section
// General. Raises overflow for values outside 16 bits.
General ReadGeneral(const std::string& file);

// The metrics endpoint of section General, read after every other key:
// MetricsPort (1 to 65535, else 0: no endpoint) and MetricsAddress (empty:
// every local address).
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

// The keys of the printer's transport, then its PortLabel.
void ReadPrinterTransport(const std::string& file, int16_t index, PrinterEntry& entry);

// What the port label shows: PortLabel, followed by " [port]" when the
// printer has a status server port.
std::string PortLabelCaption(const PrinterEntry& entry);

}  // namespace Configuration
