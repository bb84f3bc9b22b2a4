#pragma once

#include "core/PrinterEntry.h"

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class LabelControl;
class LineControl;
class QPlainTextEdit;

// The main window: the monitor's centre. It owns the printer table, the
// monitor-wide state and every control of the status display (one column
// of labels and frame lines per printer, and the terminal box Text1 below
// the visible area). Its load reads the configuration and lays out the
// columns. Everything runs on the user-interface thread.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // `iniPath` is the configuration file; the file beside the executable
    // unless a test names another one.
    explicit frmMain(std::string iniPath);
    ~frmMain() override;

    // The load, run once before the window is first shown. Returns false
    // when the configuration file cannot be opened (the message has been
    // shown); raises RuntimeError when a value cannot be converted, does not
    // fit, or more printers are configured than can be laid out.
    bool Form_Load();

    // Sets LinkOpen: the link of the printer being polled is usable.
    void SetLinkOpen() { LinkOpen = true; }

    // Outer size in twips, as the layout gives it; the client area is
    // smaller by the frame and caption.
    int16_t Width() const { return widthTwips_; }
    int16_t Height() const { return heightTwips_; }
    void SetWidth(int16_t twips);
    void SetHeight(int16_t twips);

    // Printer table and monitor-wide state.
    std::vector<PrinterEntry> PrinterTable;
    int16_t PrinterCount = 0;
    int16_t UpdateInterval = 0;
    bool QuitRequested = false;
    bool LinkOpen = false;
    int16_t SerialInBufferSize = 0;
    int16_t SerialOutBufferSize = 0;
    bool RTSEnable = false;

    // The status columns: element i belongs to the printer with index i.
    std::vector<LabelControl*> lblPrinterPort;
    std::vector<LabelControl*> lblPaperStatusTitle;
    std::vector<LabelControl*> lblPaperStatusMessage;
    std::vector<LabelControl*> lblPrintHeadStatusTitle;
    std::vector<LabelControl*> lblPrintHeadStatusMessage;
    std::vector<LabelControl*> lblCutterStatusTitle;
    std::vector<LabelControl*> lblCutterStatusMessage;
    std::vector<LabelControl*> lblPresenterStatusTitle;
    std::vector<LabelControl*> lblPresenterStatusMessage;
    std::vector<LineControl*> lineTop;
    std::vector<LineControl*> lineBottom;
    std::vector<LineControl*> lineLeftSide;
    std::vector<LineControl*> lineRightSide;

    // The terminal log's box, below the visible part of the window.
    QPlainTextEdit* Text1 = nullptr;

private:
    void ApplySize();
    void BuildColumnZero();
    void AddColumn(int16_t index, const std::string& portCaption);
    std::vector<std::vector<LabelControl*>*> ColumnLabels();

    std::string iniPath_;
    int16_t widthTwips_ = 0;
    int16_t heightTwips_ = 0;
};
