#include "printer/DecodeStatus.h"

#include "runtime/RuntimeError.h"
#include "printer/PrinterContext.h"
#include "platform/LabelControl.h"

#include <vector>

namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// One row's outcome: caption, colours and whether it is a fault.
struct RowState {
    const char* caption;
    uint32_t back;
    uint32_t fore;
    bool fault;
};

constexpr RowState kOk{"Ok", kGreen, kWhite, false};

RowState RedFault(const char* caption)
{
    return RowState{caption, kRed, kWhite, true};
}

bool Set(uint8_t byte, uint8_t mask)
{
    return (byte & mask) != 0;
}

RowState PaperRow(uint8_t b0, uint8_t b1)
{
    if (Set(b1, 0x02))
        return RedFault("Jam");
    if (Set(b1, 0x10))
        return RedFault("Load Error");
    if (Set(b0, 0x04))
        return RedFault("Empty");
    if (Set(b0, 0x01))
        return RowState{"Low", kYellow, kBlack, true};
    return kOk;
}

RowState PrintHeadRow(uint8_t b0)
{
    if (Set(b0, 0x08))
        return RedFault("Over Temp");
    if (Set(b0, 0x02))
        return RedFault("Open");
    return kOk;
}

RowState CutterRow(uint8_t b0)
{
    return Set(b0, 0x10) ? RedFault("Error") : kOk;
}

RowState PresenterRow(uint8_t b1)
{
    if (Set(b1, 0x04))
        return RedFault("Paper Jam");
    if (Set(b1, 0x01))
        return RowState{"Paper Held", kGreen, kWhite, false};
    return kOk;
}

LabelControl* Row(std::vector<LabelControl*>& array, int16_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= array.size())
        throw RuntimeError(kErrSubscriptOutOfRange, "Subscript out of range", "frmMain.DecodeStatus");
    return array[static_cast<size_t>(index)];
}

void Show(LabelControl* label, const RowState& state)
{
    label->SetBackColor(state.back);
    label->SetForeColor(state.fore);
    label->SetCaption(state.caption);
}

}  // namespace

bool DecodeStatus(const StatusRecord& record, int16_t index, PrinterContext& context)
{
    const uint8_t b0 = record[0];
    const uint8_t b1 = record[1];
    const RowState rows[] = {PaperRow(b0, b1), PrintHeadRow(b0), CutterRow(b0), PresenterRow(b1)};
    std::vector<LabelControl*>* arrays[] = {&context.lblPaperStatusMessage, &context.lblPrintHeadStatusMessage,
                                            &context.lblCutterStatusMessage, &context.lblPresenterStatusMessage};
    bool fault = false;
    for (int r = 0; r < 4; ++r) {
        Show(Row(*arrays[r], index), rows[r]);
        fault = fault || rows[r].fault;
    }
    return fault;
}
