#include "core/StatusColumns.h"

#include "platform/LabelControl.h"
#include "platform/LineControl.h"
#include "platform/Units.h"
#include "printer/PrinterContext.h"
#include "runtime/Conversions.h"

#include <QFont>
#include <QWidget>

namespace {

using namespace Palette;

QFont LayoutFont(const char* family, double points)
{
    QFont font(QString::fromLatin1(family));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace

StatusColumns::StatusColumns(QWidget& window, PrinterContext& rows) : window_(window), rows_(rows)
{
    BuildColumnZero();
}

void StatusColumns::BuildColumnZero()
{
    auto addLabel = [this](std::vector<LabelControl*>& array, const char* caption, int top, int height,
                           uint32_t back, const QFont& font) {
        auto* label = new LabelControl(&window_);
        label->SetTwipsGeometry(240, top, 2775, height);
        label->SetBackColor(back);
        label->SetForeColor(kWhite);
        label->setFont(font);
        label->setAlignment(Qt::AlignCenter);
        label->SetCaption(caption);
        array.push_back(label);
    };
    const QFont titleFont = LayoutFont("Arial", 9.75);
    const QFont messageFont = LayoutFont("Arial Narrow", 14.25);
    addLabel(lblPaperStatusTitle, "Paper", 480, 255, kTitleGrey, titleFont);
    addLabel(rows_.lblPaperStatusMessage, "No Status", 735, 375, kMessageGrey, messageFont);
    addLabel(lblPrintHeadStatusTitle, "Print Head", 1200, 255, kTitleGrey, titleFont);
    addLabel(rows_.lblPrintHeadStatusMessage, "No Status", 1455, 375, kMessageGrey, messageFont);
    addLabel(lblCutterStatusTitle, "Cutter", 1920, 255, kTitleGrey, titleFont);
    addLabel(rows_.lblCutterStatusMessage, "No Status", 2175, 375, kMessageGrey, messageFont);
    addLabel(lblPresenterStatusTitle, "Presenter", 2640, 255, kTitleGrey, titleFont);
    addLabel(rows_.lblPresenterStatusMessage, "No Status", 2895, 375, kMessageGrey, messageFont);

    auto addLine = [this](std::vector<LineControl*>& array, int x1, int y1, int x2, int y2) {
        auto* line = new LineControl(&window_, kWhite);
        line->SetEnds(x1, y1, x2, y2);
        array.push_back(line);
    };
    addLine(lineTop, 120, 240, 3120, 240);
    addLine(lineBottom, 120, 3360, 3120, 3360);
    addLine(lineLeftSide, 120, 3360, 120, 240);
    addLine(lineRightSide, 3120, 3360, 3120, 240);

    // Created last so that it lies over the frame's top edge.
    auto* port = new LabelControl(&window_);
    port->SetTwipsGeometry(300, 75, 1335, 300);
    port->SetBackColor(kBlack);
    port->SetForeColor(kWhite);
    port->setFont(LayoutFont("Arial Narrow", 12));
    port->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblPrinterPort.push_back(port);
}

std::vector<std::vector<LabelControl*>*> StatusColumns::ColumnLabels()
{
    return {&lblPaperStatusTitle,    &rows_.lblPaperStatusMessage,  &lblPrintHeadStatusTitle,
            &rows_.lblPrintHeadStatusMessage, &lblCutterStatusTitle, &rows_.lblCutterStatusMessage,
            &lblPresenterStatusTitle, &rows_.lblPresenterStatusMessage};
}

void StatusColumns::AddColumn(int16_t index, const std::string& portCaption)
{
    const int shift = CheckedInt16(int64_t{kColumnPitch} * index);
    for (auto* array : {&lineTop, &lineBottom, &lineLeftSide, &lineRightSide}) {
        LineControl* line = array->front()->Clone();
        line->SetEnds(line->X1() + shift, line->Y1(), line->X2() + shift, line->Y2());
        line->show();
        array->push_back(line);
    }
    for (auto* array : ColumnLabels()) {
        LabelControl* label = array->front()->Clone();
        label->SetTwipsGeometry(CheckedInt16(240 + int64_t{shift}), label->TopTwips(), label->WidthTwips(),
                                label->HeightTwips());
        label->show();
        array->push_back(label);
    }
    LabelControl* port = lblPrinterPort.front()->Clone();
    port->SetTwipsGeometry(CheckedInt16(320 + int64_t{shift}), port->TopTwips(), port->WidthTwips(),
                           port->HeightTwips());
    port->SetCaption(portCaption);
    port->show();
    port->raise();
    lblPrinterPort.push_back(port);
}

std::string StatusColumns::Summary() const
{
    std::string summary;
    for (size_t i = 0; i < lblPrinterPort.size(); ++i) {
        summary += (i ? "\n" : "") + lblPrinterPort[i]->Caption() + ":";
        for (const auto* row : {&rows_.lblPaperStatusMessage, &rows_.lblPrintHeadStatusMessage, &rows_.lblCutterStatusMessage,
                                &rows_.lblPresenterStatusMessage})
            summary += " " + row->at(i)->Caption() + (row == &rows_.lblPresenterStatusMessage ? "" : ",");
    }
    return summary;
}
