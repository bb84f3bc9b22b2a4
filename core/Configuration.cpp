#include "core/Configuration.h"

#include "runtime/AsciiCase.h"
#include "runtime/Conversions.h"
#include "core/INIHandler.h"
#include "platform/StandardError.h"
#include "printer/NetworkTransport.h"
#include "platform/PrivateProfile.h"
#include "runtime/RuntimeError.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace Configuration {

namespace {

std::string Read(const std::string& file, const std::string& section, const std::string& key)
{
    return INIHandler::ReadINIValue(section, key, file, "");
}

std::string OrDefault(std::string value, const char* fallback)
{
    return value.empty() ? std::string(fallback) : value;
}

// Keeps `value` when its first character is one of `allowed`; a NUL byte
// is none of them.
std::string FirstCharacterIn(std::string value, std::string_view allowed, const char* fallback)
{
    if (value.empty() || allowed.find(value[0]) == std::string_view::npos)
        return fallback;
    return value;
}


// A number too large even to read is out of range like any other: the
// printer gets no status server, or the monitor no metrics endpoint, and
// start-up goes on.
std::string LocalPort(const std::string& text)
{
    double port = 0;
    try {
        port = LeadingNumber(text);
    } catch (const RuntimeError&) {
        return {};
    }
    if (port < 1 || port > 65535)
        return {};
    return PlainDecimal(port);
}

// An address key: empty, or exactly a dotted IPv4 address. Names are not
// looked up (that would block start-up on the resolver, and which address
// listened would depend on its answer), and short forms such as 127.1 or 0
// are refused, as is anything after the address.
std::string LocalAddress(const std::string& file, const char* key, const char* source)
{
    std::string address = Read(file, "General", key);
    if (!address.empty() && !IsDottedIPv4(address))
        throw RuntimeError(kErrTypeMismatch,
                           std::string("Type mismatch: ") + key + " \"" + address
                               + "\" is no dotted IPv4 address such as 127.0.0.1",
                           source);
    return address;
}

}  // namespace

std::string FileProblem(const std::string& file)
{
    switch (CheckProfileFile(file)) {
    case ProfileFile::Readable:
        return {};
    case ProfileFile::Missing:
        return "Unable to open ini file!";
    case ProfileFile::TooLarge:
        break;
    }
    return "The ini file is larger than " + std::to_string(kProfileFileLimit)
         + " bytes (1 MiB), more than any configuration needs; it is not read.";
}

General ReadGeneral(const std::string& file)
{
    General general;
    general.PrinterCount = RoundToInt16(LeadingNumber(Read(file, "General", "Printers")));
    general.UpdateInterval = RoundToInt16(LeadingNumber(Read(file, "General", "UpdateInterval")));
    if (general.UpdateInterval < 1 || general.UpdateInterval > 3600)
        general.UpdateInterval = 3;
    if (general.PrinterCount < 1)
        general.PrinterCount = 1;
    general.StatusServerAddress = LocalAddress(file, "StatusServerAddress", "Configuration.ReadGeneral");
    return general;
}

Metrics ReadMetrics(const std::string& file)
{
    Metrics metrics;
    const std::string port = LocalPort(Read(file, "General", "MetricsPort"));
    // Rounded as a status server's port is: 9464.5 is 9464, 9465.5 is 9466.
    metrics.Port = port.empty() ? 0 : WholeTextToInt32(port);
    metrics.Address = LocalAddress(file, "MetricsAddress", "Configuration.ReadMetrics");
    return metrics;
}

std::string SectionName(int16_t index)
{
    return "Printer" + std::to_string(CheckedInt16(int64_t{index} + 1));
}

void ReadPrinterIdentity(const std::string& file, int16_t index, PrinterEntry& entry)
{
    const std::string section = SectionName(index);
    entry.Port = WholeTextToInt16(Read(file, section, "Port"));
    entry.Name = Read(file, section, "Name").substr(0, 20);
    entry.StatusServerSocket = LocalPort(Read(file, section, "StatusServerSocket"));
}

void ReadPrinterTransport(const std::string& file, int16_t index, PrinterEntry& entry)
{
    const std::string section = SectionName(index);
    if (entry.Port > 0) {
        entry.BaudRate = OrDefault(Read(file, section, "BaudRate"), "115200");
        entry.Parity = FirstCharacterIn(AsciiLower(Read(file, section, "Parity")), "neo", "n");
        entry.DataBits = FirstCharacterIn(Read(file, section, "DataBits"), "78", "8");
        entry.StopBits = FirstCharacterIn(Read(file, section, "StopBits"), "12", "1");
        entry.Device = Read(file, section, "Device");
    } else if (entry.Port == 0) {
        entry.IP = OrDefault(Read(file, section, "IP"), "127.0.0.1");
        entry.Socket = OrDefault(Read(file, section, "Socket"), "9100");
        if (!IsAddressTried(entry.IP))
            ReportLine(section + ": IP \"" + entry.IP
                       + "\" has 8 characters or fewer and is never polled; write the address in full.");
    }
    if (!entry.Name.empty())
        entry.PortLabel = entry.Name;
    else if (entry.Port > 0)
        entry.PortLabel = "COM:" + std::to_string(entry.Port);
    else if (entry.Port == 0)
        entry.PortLabel = entry.IP;
    else
        entry.PortLabel = "USB";
}

std::string PortLabelCaption(const PrinterEntry& entry)
{
    if (entry.StatusServerSocket.empty())
        return entry.PortLabel;
    return entry.PortLabel + " [" + entry.StatusServerSocket + "]";
}

}  // namespace Configuration
