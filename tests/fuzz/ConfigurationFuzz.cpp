// The configuration reader over arbitrary file contents: the number
// conversions on the whole text and on every value ReadINIValue reads from
// a file holding it, and the main window's whole load of that file. Start-up may refuse a file with a conversion,
// overflow or socket error; anything else escaping, or a loaded table that
// breaks the normalisation rules, is a finding.
#include "runtime/Conversions.h"
#include "core/INIHandler.h"
#include "runtime/RuntimeError.h"
#include "core/frmMain.h"
#include "fuzz/FuzzApplication.h"
#include "platform/EventPump.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace {

const TempDir& Directory()
{
    static const TempDir* dir = new TempDir();
    return *dir;
}

bool IsConversionError(const RuntimeError& error)
{
    return error.Number() == kErrOverflow || error.Number() == kErrTypeMismatch;
}

// Runs one conversion; a conversion may refuse its text only with an
// overflow or a type mismatch. Answers whether it produced a value.
template <typename Step>
bool Converts(Step&& step)
{
    try {
        step();
        return true;
    } catch (const RuntimeError& error) {
        if (!IsConversionError(error))
            FuzzFailure("conversion raised error " + std::to_string(error.Number()));
        return false;
    }
}

void CheckConversions(const std::string& text)
{
    double leading = 0;
    if (!Converts([&] { leading = LeadingNumber(text); }))
        return;
    if (!std::isfinite(leading))
        FuzzFailure("LeadingNumber gave a value that is not finite");

    int16_t rounded = 0;
    if (Converts([&] { rounded = RoundToInt16(leading); }) && std::fabs(rounded - leading) > 0.5)
        FuzzFailure("RoundToInt16 moved the value by more than a half");

    // A text that is one number as a whole has that number as its leading
    // number too. Carriage returns are trimmed around a whole number but are
    // no blank to the leading-number scan, so such texts are left out.
    int16_t whole = 0;
    const bool wholeConverts = Converts([&] { whole = WholeTextToInt16(text); });
    if (wholeConverts && text.find('\r') == std::string::npos && whole != rounded)
        FuzzFailure("WholeTextToInt16 and RoundToInt16(LeadingNumber) disagree");

    // A NUL byte fits no number: the leading number stops before it, and a
    // text holding one is never one number as a whole.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        if (wholeConverts)
            FuzzFailure("WholeTextToInt16 took a text holding a NUL byte");
        if (LeadingNumber(text.substr(0, nul)) != leading)
            FuzzFailure("LeadingNumber read past a NUL byte");
    }

    if (leading >= 1 && leading <= 65535 && leading == std::floor(leading)
        && LeadingNumber(PlainDecimal(leading)) != leading)
        FuzzFailure("PlainDecimal does not read back as the same number");
}

void CheckReader(const std::string& file)
{
    static const char* const sections[] = {"General", "Printer1", "Printer2", "printer10", ""};
    static const char* const keys[] = {"Printers", "UpdateInterval", "Port", "Name", "StatusServerSocket", "IP",
                                       "Socket", "Parity", ""};
    for (const char* section : sections) {
        for (const char* key : keys) {
            const std::string value = INIHandler::ReadINIValue(section, key, file, "default");
            if (value.size() > 749)
                FuzzFailure("a value longer than 749 characters came back");
            CheckConversions(value);
        }
    }
}

void CheckPrinter(const PrinterEntry& entry)
{
    if (entry.Name.size() > 20)
        FuzzFailure("a name kept more than 20 characters");
    if (!entry.StatusServerSocket.empty()) {
        const double port = LeadingNumber(entry.StatusServerSocket);
        if (port < 1 || port > 65535 || PlainDecimal(port) != entry.StatusServerSocket)
            FuzzFailure("a status server port outside 1..65535 or not in plain decimal: " + entry.StatusServerSocket);
    }
    const auto startsWithOneOf = [](const std::string& value, std::string_view allowed) {
        return !value.empty() && allowed.find(value[0]) != std::string_view::npos;
    };
    if (entry.Port > 0
        && (!startsWithOneOf(entry.Parity, "neo") || !startsWithOneOf(entry.DataBits, "78")
            || !startsWithOneOf(entry.StopBits, "12") || entry.BaudRate.empty()))
        FuzzFailure("serial settings escaped their normalisation");
    if (entry.Port == 0 && (entry.IP.empty() || entry.Socket.empty()))
        FuzzFailure("a network printer without address or port");
}

void CheckLoad(const std::string& file)
{
    frmMain form(file);
    try {
        if (!form.Form_Load())
            FuzzFailure("the file that was just written did not open");
    } catch (const RuntimeError& error) {
        // Conversions and overflows stop start-up, and so does a status
        // port that cannot be bound (taken, or refused to this user).
        if (!IsConversionError(error) && error.Number() < 10000)
            FuzzFailure("the load raised error " + std::to_string(error.Number()));
        return;
    }
    if (form.PrinterCount < 1 || form.PrinterCount > 10
        || form.PrinterTable.size() != static_cast<size_t>(form.PrinterCount))
        FuzzFailure("printer count outside 1..10 after a good load");
    if (form.UpdateInterval < 1 || form.UpdateInterval > 3600)
        FuzzFailure("update interval outside 1..3600 after a good load");
    for (const PrinterEntry& entry : form.PrinterTable)
        CheckPrinter(entry);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckConversions(text);

    const std::string file = Directory().File("StatusMonitorQ62m.ini");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    CheckReader(file);
    CheckLoad(file);
    // Objects the window let go of are deleted once events run.
    DoEvents();
    return 0;
}
