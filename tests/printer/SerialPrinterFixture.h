#pragma once

#include "PtyPrinter.h"
#include "support/LoadedForm.h"
#include "support/StatusClient.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

// A loaded main window whose Printer1 is a serial printer on the
// pseudo-terminal of `printer`.
class SerialPrinterFixture : public ::testing::Test {
protected:
    // `printer1` adds keys to Printer1's section (BaudRate=..., ...);
    // `more` adds text after it, such as further printers' sections.
    void Load(const std::string& printer1 = "", int printers = 1, const std::string& more = "");

    bool PortOpen() const;
    const std::string& Stored(int index) const;

    TempDir dir;
    PtyPrinter printer;
    std::unique_ptr<frmMain> form;
};
