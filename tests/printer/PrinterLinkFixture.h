#pragma once

#include "platform/LabelControl.h"
#include "platform/MSComm.h"
#include "printer/CommandExchange.h"
#include "printer/NetworkTransport.h"
#include "printer/PrinterContext.h"
#include "printer/PrinterLink.h"
#include "socket/CNetSocket.h"
#include "support/FakeClock.h"
#include "support/PseudoTerminal.h"
#include "support/StatusClient.h"

#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

// The printer link without the main window: a context of its own holding
// `printers`, four status rows for each, the terminal box, and the serial
// control and printer socket wired to their handlers as the window wires
// them; serial ports open with the window's buffer sizes and RTS on.
class TestPrinterContext : public PrinterContext {
public:
    explicit TestPrinterContext(std::vector<PrinterEntry> printers)
    {
        PrinterTable = std::move(printers);
        for (auto* rows : {&lblPaperStatusMessage, &lblPrintHeadStatusMessage, &lblCutterStatusMessage,
                           &lblPresenterStatusMessage})
            for (size_t i = 0; i < PrinterTable.size(); ++i)
                rows->push_back(new LabelControl(&owner_));
        Text1 = new QPlainTextEdit(&owner_);
        MSComm1 = std::make_unique<MSComm>();
        Winsock1 = std::make_unique<CNetSocket>();
        WirePrinterLink(*this);
        SerialInBufferSize = 32764;
        SerialOutBufferSize = 16384;
        RTSEnable = true;
    }

    std::string Paper(size_t index) const { return lblPaperStatusMessage.at(index)->Caption(); }
    const std::string& Stored(size_t index) const { return PrinterTable.at(index).StatusBytes; }

private:
    QWidget owner_;
};

// A serial printer on COM `port`, or on `device` when one is named, with the
// configuration's default framing.
inline PrinterEntry SerialPrinter(const std::string& device, int16_t port = 3)
{
    return PrinterEntry{.Port = port, .BaudRate = "115200", .Parity = "n", .DataBits = "8", .StopBits = "1", .Device = device};
}

// Lets every sleep of `clock` wait, pumping events, until `event` holds, so
// that a real reply or connection gets up to five seconds of real time in
// all, however fast the fake time runs.
inline void GiveRealTime(FakeClock& clock, std::function<bool()> event)
{
    clock.OnSleep = [event, budget = QDeadlineTimer(5000)] {
        PumpUntil(event, static_cast<int>(budget.remainingTime()));
    };
}

// A printer at the far end of a pseudo-terminal, served from the event
// loop: each time a whole status request has arrived it writes Answer back
// (nothing while it is empty).
class PtyPrinter {
public:
    PtyPrinter() : notifier_(pty_.MasterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_, [this] { Collect(); });
    }

    const PseudoTerminal& Pty() const { return pty_; }
    const std::string& Path() const { return pty_.Path(); }
    const std::string& Received() const { return received_; }
    int Requests() const { return requests_; }
    // Bytes towards the port, outside any request.
    void Send(const std::string& bytes) const { pty_.Write(bytes); }
    // The device goes away under whoever holds it.
    void Vanish()
    {
        notifier_.setEnabled(false);
        pty_.CloseMaster();
    }

    std::string Answer;

private:
    void Collect()
    {
        received_ += pty_.ReadAvailable();
        for (size_t found; (found = received_.find(kStatusCommand, scanned_)) != std::string::npos;) {
            scanned_ = found + kStatusCommand.size();
            ++requests_;
            if (!Answer.empty())
                Send(Answer);
        }
    }

    PseudoTerminal pty_;
    QSocketNotifier notifier_;
    std::string received_;
    size_t scanned_ = 0;
    int requests_ = 0;
};

// Printer 0 is a serial printer on the pseudo-terminal of `printer`; printer
// 1 one on COM99, /dev/ttyS98, which no machine here has.
class SerialPrinterFixture : public ::testing::Test {
protected:
    PtyPrinter printer;
    TestPrinterContext context{{SerialPrinter(printer.Path()), SerialPrinter("", 99)}};
};
