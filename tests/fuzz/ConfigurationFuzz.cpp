// A configuration file of any content, read by the number conversions and
// by the main window's whole load. Start-up may refuse a file only with a
// conversion, overflow or socket error; a loaded table must keep the
// normalisation rules, and the conversions must agree with each other.
#include "core/frmMain.h"
#include "fuzz/FuzzApplication.h"
#include "platform/EventPump.h"
#include "runtime/Conversions.h"
#include "runtime/RuntimeError.h"
#include "support/TempDir.h"

#include <cmath>
#include <string_view>

namespace {

bool IsConversionError(const RuntimeError& error)
{
    return error.Number() == kErrOverflow || error.Number() == kErrTypeMismatch;
}

// Runs one conversion, which may refuse only with a conversion error.
template <typename Step>
bool Converts(Step&& step)
{
    try {
        step();
        return true;
    } catch (const RuntimeError& error) {
        Expect(IsConversionError(error), "a conversion raised error " + std::to_string(error.Number()));
        return false;
    }
}

void CheckConversions(const std::string& text)
{
    double leading = 0;
    int16_t rounded = 0;
    int16_t whole = 0;
    if (!Converts([&] { leading = LeadingNumber(text); }))
        return;
    Expect(std::isfinite(leading), "LeadingNumber gave a value that is not finite");
    const bool roundedOk = Converts([&] { rounded = RoundToInt16(leading); });
    Expect(!roundedOk || std::fabs(rounded - leading) <= 0.5, "RoundToInt16 moved the value by more than a half");
    // Carriage returns are trimmed around a whole number but are no blank to
    // the leading-number scan; a NUL byte fits no number.
    if (Converts([&] { whole = WholeTextToInt16(text); })) {
        Expect(text.find('\0') == std::string::npos, "WholeTextToInt16 took a text holding a NUL byte");
        Expect(text.find('\r') != std::string::npos || whole == rounded, "whole text and leading number disagree");
    }
    if (leading >= 1 && leading <= 65535 && leading == std::floor(leading))
        Expect(LeadingNumber(PlainDecimal(leading)) == leading, "PlainDecimal does not read back as the same number");
}

void CheckLoad(const std::string& file)
{
    frmMain form(file);
    try {
        Expect(form.Form_Load(), "the file that was just written did not open");
    } catch (const RuntimeError& error) {
        // A status port that cannot be bound (taken, or refused to this user) stops start-up too.
        Expect(IsConversionError(error) || error.Number() >= 10000, "the load raised error " + std::to_string(error.Number()));
        return;
    }
    Expect(form.PrinterCount >= 1 && form.PrinterCount <= 10 && form.PrinterTable.size() == size_t(form.PrinterCount)
               && form.UpdateInterval >= 1 && form.UpdateInterval <= 3600,
           "printer count or update interval outside their range after a good load");
    auto startsWithOneOf = [](const std::string& value, std::string_view allowed) {
        return !value.empty() && allowed.find(value[0]) != std::string_view::npos;
    };
    for (const PrinterEntry& e : form.PrinterTable) {
        Expect(e.Name.size() <= 20, "a name kept more than 20 characters");
        const double port = LeadingNumber(e.StatusServerSocket);
        Expect(e.StatusServerSocket.empty() || (port >= 1 && port <= 65535 && PlainDecimal(port) == e.StatusServerSocket),
               "a status server port outside 1..65535 or not in plain decimal: " + e.StatusServerSocket);
        Expect(e.Port <= 0
                   || (startsWithOneOf(e.Parity, "neo") && startsWithOneOf(e.DataBits, "78")
                       && startsWithOneOf(e.StopBits, "12") && !e.BaudRate.empty()),
               "serial settings escaped their normalisation");
        Expect(e.Port != 0 || (!e.IP.empty() && !e.Socket.empty()), "a network printer without address or port");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TempDir* dir = new TempDir();
    const std::string text = Bytes(data, size);
    CheckConversions(text);
    dir->Write("StatusMonitorQ62m.ini", text);
    CheckLoad(dir->File("StatusMonitorQ62m.ini"));
    // Objects the window let go of are deleted once events run.
    DoEvents();
    return 0;
}
