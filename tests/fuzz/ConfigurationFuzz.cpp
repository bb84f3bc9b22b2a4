// A configuration file of any content, through the number conversions and
// the main window's whole load. A conversion may refuse a text only with a
// conversion error, and the load only with such an error or a socket error
// (a status port taken); a loaded table keeps the normalisation rules.
#include "core/frmMain.h"
#include "fuzz/FuzzApplication.h"
#include "platform/EventPump.h"
#include "runtime/Conversions.h"
#include "runtime/RuntimeError.h"
#include "support/TempDir.h"

#include <cmath>
#include <sstream>

namespace {

// Runs `step`, which may raise only a conversion error, or a socket error
// (a status port taken, or refused to this user) when `socketErrors`.
template <typename Step>
void MayRefuse(Step&& step, bool socketErrors = false)
{
    try {
        step();
    } catch (const RuntimeError& e) {
        Expect(e.Number() == kErrOverflow || e.Number() == kErrTypeMismatch || (socketErrors && e.Number() >= 10000),
               "error " + std::to_string(e.Number()) + " from " + e.Source());
    }
}

// A value may be refused only with a conversion error; a number read agrees
// with its rounding, its plain decimal text and its reading as a whole.
void CheckConversions(const std::string& text)
{
    MayRefuse([&] {
        const double leading = LeadingNumber(text);
        Expect(std::isfinite(leading), "LeadingNumber gave a value that is not finite");
        Expect(std::fabs(RoundToInt16(leading) - leading) <= 0.5, "RoundToInt16 moved the value by more than a half");
        if (leading >= 1 && leading <= 65535 && leading == std::floor(leading))
            Expect(LeadingNumber(PlainDecimal(leading)) == leading, "PlainDecimal does not read back");
        // Carriage returns are trimmed around a whole number, not skipped by the leading number.
        Expect(text.find('\r') != std::string::npos || WholeTextToInt16(text) == RoundToInt16(leading),
               "the whole text and its leading number disagree");
    });
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
    const std::string file = Bytes(data, size);
    CheckConversions(file);
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);)
        CheckConversions(line.substr(line.find('=') + 1));
    dir->Write("StatusMonitorQ62m.ini", file);
    frmMain form(dir->File("StatusMonitorQ62m.ini"));
    bool loaded = false;
    MayRefuse([&] { loaded = form.Form_Load(); }, true);
    for (const PrinterEntry& e : loaded ? form.PrinterTable : std::vector<PrinterEntry>{}) {
        const double port = LeadingNumber(e.StatusServerSocket);
        Expect(e.Name.size() <= 20 && (e.StatusServerSocket.empty() || PlainDecimal(port) == e.StatusServerSocket)
                   && (e.Port != 0 || (!e.IP.empty() && !e.Socket.empty()))
                   && (e.Port <= 0
                       || (!e.BaudRate.empty() && !e.Parity.empty() && std::string("neo").find(e.Parity[0]) < 3)),
               "a printer escaped its normalisation");
    }
    Expect(!loaded || (form.PrinterCount >= 1 && form.PrinterCount <= 10 && form.UpdateInterval >= 1),
           "printer count or update interval out of range after a good load");
    // Objects the window let go of are deleted once events run.
    DoEvents();
    return 0;
}
