#include "printer/DecodeStatus.h"

#include "runtime/RuntimeError.h"
#include "printer/PrinterContext.h"
#include "platform/LabelControl.h"
#include "platform/Units.h"
#include "runtime/PrinterProtocol.h"

#include <vector>

namespace {

using namespace Palette;
using namespace PrinterProtocol;

// One row's outcome: caption, colours and whether it is a fault.
struct RowState {
    const char* caption;
    uint32_t back;
    uint32_t fore;
    bool fault;
};

constexpr RowState kOk{"Ok", kGreen, kWhite, false};

// A condition shown in red (or as `back` on `fore`), a fault as the protocol
// counts it.
RowState Shown(const char* caption, ConditionIndex condition, uint32_t back = kRed, uint32_t fore = kWhite)
{
    return RowState{caption, back, fore, kConditions[condition].fault};
}

RowState PaperRow(uint8_t b0, uint8_t b1)
{
    if (Carries(b0, b1, PaperJam))
        return Shown("Jam", PaperJam);
    if (Carries(b0, b1, LoadError))
        return Shown("Load Error", LoadError);
    if (Carries(b0, b1, PaperEmpty))
        return Shown("Empty", PaperEmpty);
    if (Carries(b0, b1, PaperLow))
        return Shown("Low", PaperLow, kYellow, kBlack);
    return kOk;
}

RowState PrintHeadRow(uint8_t b0, uint8_t b1)
{
    if (Carries(b0, b1, OverTemperature))
        return Shown("Over Temp", OverTemperature);
    if (Carries(b0, b1, HeadOpen))
        return Shown("Open", HeadOpen);
    return kOk;
}

RowState CutterRow(uint8_t b0, uint8_t b1)
{
    return Carries(b0, b1, CutterError) ? Shown("Error", CutterError) : kOk;
}

// A ticket waiting to be taken shows on the green of "Ok".
RowState PresenterRow(uint8_t b0, uint8_t b1)
{
    if (Carries(b0, b1, PresenterJam))
        return Shown("Paper Jam", PresenterJam);
    if (Carries(b0, b1, PaperHeld))
        return Shown("Paper Held", PaperHeld, kGreen);
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
    const RowState rows[] = {PaperRow(b0, b1), PrintHeadRow(b0, b1), CutterRow(b0, b1), PresenterRow(b0, b1)};
    std::vector<LabelControl*>* arrays[] = {&context.lblPaperStatusMessage, &context.lblPrintHeadStatusMessage,
                                            &context.lblCutterStatusMessage, &context.lblPresenterStatusMessage};
    bool fault = false;
    for (int r = 0; r < 4; ++r) {
        Show(Row(*arrays[r], index), rows[r]);
        fault = fault || rows[r].fault;
    }
    return fault;
}
