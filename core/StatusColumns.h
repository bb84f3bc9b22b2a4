#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LabelControl;
class LineControl;
class PrinterContext;
class QWidget;

// The status display's columns, one per printer, element i of each array
// belonging to the printer with index i: the port label across the top of
// a white frame of four lines, and four rows of a title and a message
// (Paper, Print Head, Cutter, Presenter). The constructor lays out column
// 0; AddColumn copies it to the right. The message labels go into the
// printer context's status rows, which the decoding paints; the rest is
// this object's. The main window owns it and is the parent of every label
// and line. User-interface thread only.
class StatusColumns {
public:
    // Column i lies this many twips to the right of column i - 1.
    static constexpr int kColumnPitch = 3100;

    StatusColumns(QWidget& window, PrinterContext& rows);

    // Column `index` (1 and above), showing `portCaption`. Raises overflow
    // where a column would lie beyond the 16-bit range of twips.
    void AddColumn(int16_t index, const std::string& portCaption);

    // One line per printer: its port label and its four rows, as the fault
    // alarm's notice tells them.
    std::string Summary() const;

    std::vector<LabelControl*> lblPrinterPort;
    std::vector<LabelControl*> lblPaperStatusTitle;
    std::vector<LabelControl*> lblPrintHeadStatusTitle;
    std::vector<LabelControl*> lblCutterStatusTitle;
    std::vector<LabelControl*> lblPresenterStatusTitle;
    std::vector<LineControl*> lineTop;
    std::vector<LineControl*> lineBottom;
    std::vector<LineControl*> lineLeftSide;
    std::vector<LineControl*> lineRightSide;

private:
    void BuildColumnZero();
    std::vector<std::vector<LabelControl*>*> ColumnLabels();

    QWidget& window_;
    PrinterContext& rows_;
};
