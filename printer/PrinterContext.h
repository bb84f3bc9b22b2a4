#pragma once

#include "printer/ExchangeState.h"
#include "printer/PrinterEntry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CNetSocket;
class LabelControl;
class MSComm;
class QPlainTextEdit;
class UsbLibrary;

// What the printer link works on, handed by reference to every procedure
// of this folder: the printer table, each printer's four status rows, the
// link controls (the serial control MSComm1, the printer socket Winsock1,
// the USB library), the exchange's fields with the terminal box Text1, the
// link flag and the serial defaults. The main window is one (its load fills
// it, its unload releases the links); tests build one of their own.
// Everything runs on the user-interface thread.
class PrinterContext {
public:
    PrinterContext();
    virtual ~PrinterContext();
    PrinterContext(const PrinterContext&) = delete;
    PrinterContext& operator=(const PrinterContext&) = delete;

    // Sets LinkOpen: the link of the printer being polled is usable.
    void SetLinkOpen() { LinkOpen = true; }

    std::vector<PrinterEntry> PrinterTable;

    // The status rows: element i belongs to the printer with index i.
    std::vector<LabelControl*> lblPaperStatusMessage;
    std::vector<LabelControl*> lblPrintHeadStatusMessage;
    std::vector<LabelControl*> lblCutterStatusMessage;
    std::vector<LabelControl*> lblPresenterStatusMessage;

    // Opened for one poll and closed after it; the printer socket exists
    // from the load to the unload.
    std::unique_ptr<MSComm> MSComm1;
    std::unique_ptr<CNetSocket> Winsock1;
    // The printer's USB library, shared by every USB printer.
    std::unique_ptr<UsbLibrary> Zorvadev;
    // The terminal log's box; its owner keeps it out of view.
    QPlainTextEdit* Text1 = nullptr;
    // The fields of the one exchange that can run at a time.
    ExchangeState Exchange;

    // Set by the unload: a network send pumps no more events.
    bool QuitRequested = false;
    // The link of the printer being polled is open.
    bool LinkOpen = false;
    // Given to the serial port at every open.
    int16_t SerialInBufferSize = 0;
    int16_t SerialOutBufferSize = 0;
    bool RTSEnable = false;

    // Told at the end of every poll: whether the printer gave a good answer
    // and whether that answer showed a fault.
    std::function<void(int16_t index, bool answered, bool fault)> PollEnded;
};
