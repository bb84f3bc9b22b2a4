#pragma once

#include "core/frmMain.h"
#include "platform/MSComm.h"
#include "printer/CommandExchange.h"
#include "support/LoadedForm.h"
#include "support/PseudoTerminal.h"
#include "support/StatusClient.h"

#include <QSocketNotifier>
#include <gtest/gtest.h>
#include <functional>
#include <string>

// A printer at the far end of a pseudo-terminal, served from the event
// loop as a real one would answer: it collects what the port sends and,
// each time a whole status request has arrived, runs OnRequest, which
// unless a test replaces it writes Answer back (nothing while Answer is
// empty).
class PtyPrinter {
public:
    PtyPrinter() : notifier_(pty_.MasterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Collect(); });
    }

    const std::string& Path() const { return pty_.Path(); }
    const PseudoTerminal& Pty() const { return pty_; }

    // Bytes towards the port, outside any request.
    void Send(const std::string& bytes) const { pty_.Write(bytes); }

    // The device goes away under whoever holds it.
    void Vanish()
    {
        notifier_.setEnabled(false);
        pty_.CloseMaster();
    }

    const std::string& Received() const { return received_; }
    int Requests() const { return requests_; }

    std::string Answer;
    std::function<void()> OnRequest;

private:
    void Collect()
    {
        received_ += pty_.ReadAvailable();
        size_t found;
        while ((found = received_.find(kStatusCommand, scanned_)) != std::string::npos) {
            scanned_ = found + kStatusCommand.size();
            ++requests_;
            if (OnRequest)
                OnRequest();
            else if (!Answer.empty())
                Send(Answer);
        }
    }

    PseudoTerminal pty_;
    QSocketNotifier notifier_;
    std::string received_;
    size_t scanned_ = 0;
    int requests_ = 0;
};

// A loaded main window whose Printer1 is a serial printer on the
// pseudo-terminal of `printer`.
class SerialPrinterFixture : public ::testing::Test {
protected:
    // `printer1` adds keys to Printer1's section (BaudRate=..., ...);
    // `more` adds text after it, such as further printers' sections.
    void Load(const std::string& printer1 = "", int printers = 1, const std::string& more = "")
    {
        form = LoadForm(dir, "[General]\nPrinters=" + std::to_string(printers) + "\n[Printer1]\nPort=3\nDevice="
                                 + printer.Path() + "\n" + printer1 + "\n" + more);
    }

    bool PortOpen() const { return form->MSComm1->PortOpen(); }
    const std::string& Stored(int index) const { return form->PrinterTable.at(static_cast<size_t>(index)).StatusBytes; }

    TempDir dir;
    PtyPrinter printer;
    std::unique_ptr<frmMain> form;
};
