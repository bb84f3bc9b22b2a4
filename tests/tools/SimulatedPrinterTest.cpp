#include "tools/printer-sim/SimulatedPrinter.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct ConditionBit {
    Fault fault;
    Bytes answer;
};

// The answer the monitor decodes for each condition alone.
const ConditionBit kConditionAnswers[] = {
    {Fault::PaperLow, {0x01, 0x00, 0x00, 0xF0}},
    {Fault::HeadOpen, {0x02, 0x00, 0x00, 0xF0}},
    {Fault::PaperEmpty, {0x04, 0x00, 0x00, 0xF0}},
    {Fault::OverTemperature, {0x08, 0x00, 0x00, 0xF0}},
    {Fault::CutterError, {0x10, 0x00, 0x00, 0xF0}},
    {Fault::PaperHeld, {0x00, 0x01, 0x00, 0xF0}},
    {Fault::PaperJam, {0x00, 0x02, 0x00, 0xF0}},
    {Fault::PresenterJam, {0x00, 0x04, 0x00, 0xF0}},
    {Fault::LoadError, {0x00, 0x10, 0x00, 0xF0}},
};

TEST(SimulatedPrinterState, StartsAllWellNormalAndListening)
{
    SimulatedPrinter printer("p");
    Reply reply = printer.ReplyToRequest();
    EXPECT_EQ(reply.kind, Reply::Kind::Answer);
    EXPECT_EQ(reply.bytes, (Bytes{0x00, 0x00, 0x00, 0xF0}));
    EXPECT_EQ(reply.delayMs, 0);
    EXPECT_EQ(printer.Describe(), "00 00 00 F0 (normal, listening)");
}

TEST(SimulatedPrinterState, EachConditionSetsItsOwnBit)
{
    for (const ConditionBit& condition : kConditionAnswers) {
        SimulatedPrinter printer("p");
        printer.SetFault(condition.fault, true);
        EXPECT_EQ(printer.ReplyToRequest().bytes, condition.answer)
            << "condition " << static_cast<int>(condition.fault);
    }
}

TEST(SimulatedPrinterState, ConditionsAddUpAndClearOneByOne)
{
    SimulatedPrinter printer("p");
    printer.SetFault(Fault::PaperLow, true);
    printer.SetFault(Fault::HeadOpen, true);
    printer.SetFault(Fault::PaperJam, true);
    EXPECT_EQ(printer.Answer(), (Bytes{0x03, 0x02, 0x00, 0xF0}));
    printer.SetFault(Fault::PaperLow, false);
    EXPECT_EQ(printer.Answer(), (Bytes{0x02, 0x02, 0x00, 0xF0}));
    printer.SetFault(Fault::PaperLow, false);
    EXPECT_EQ(printer.Answer(), (Bytes{0x02, 0x02, 0x00, 0xF0}));
}

TEST(SimulatedPrinterState, AllWellClearsConditionsAndRaw)
{
    SimulatedPrinter printer("p");
    printer.SetFault(Fault::CutterError, true);
    printer.SetRaw({0x55});
    printer.AllWell();
    EXPECT_EQ(printer.Answer(), (Bytes{0x00, 0x00, 0x00, 0xF0}));
}

TEST(SimulatedPrinterState, RawAnswersExactlyItsBytesAndConditionsChangeThem)
{
    SimulatedPrinter printer("p");
    printer.SetRaw({0x80, 0x40, 0x12, 0xF0, 0x99});
    EXPECT_EQ(printer.ReplyToRequest().bytes, (Bytes{0x80, 0x40, 0x12, 0xF0, 0x99}));
    printer.SetFault(Fault::LoadError, true);
    EXPECT_EQ(printer.Answer(), (Bytes{0x80, 0x50, 0x12, 0xF0, 0x99}));
}

TEST(SimulatedPrinterState, ConditionOnAShortRawAnswerGrowsItWithZeros)
{
    SimulatedPrinter printer("p");
    printer.SetRaw({0xF0});
    printer.SetFault(Fault::PresenterJam, true);
    EXPECT_EQ(printer.Answer(), (Bytes{0xF0, 0x04}));
}

TEST(SimulatedPrinterBehaviour, SilentAnswersNothing)
{
    SimulatedPrinter printer("p");
    printer.SetBehaviour(Behaviour::Silent);
    EXPECT_EQ(printer.ReplyToRequest().kind, Reply::Kind::Nothing);
    EXPECT_FALSE(printer.HangsUpOnConnect());
}

TEST(SimulatedPrinterBehaviour, DelayAnswersTheCurrentBytesLate)
{
    SimulatedPrinter printer("p");
    printer.SetFault(Fault::PaperEmpty, true);
    printer.SetBehaviour(Behaviour::Delay, 250);
    Reply reply = printer.ReplyToRequest();
    EXPECT_EQ(reply.kind, Reply::Kind::Answer);
    EXPECT_EQ(reply.bytes, (Bytes{0x04, 0x00, 0x00, 0xF0}));
    EXPECT_EQ(reply.delayMs, 250);
    EXPECT_EQ(printer.Describe(), "04 00 00 F0 (delay 250 ms, listening)");
}

TEST(SimulatedPrinterBehaviour, CloseHangsUpOnConnectAndOnRequest)
{
    SimulatedPrinter printer("p");
    printer.SetBehaviour(Behaviour::HangUp);
    EXPECT_TRUE(printer.HangsUpOnConnect());
    EXPECT_EQ(printer.ReplyToRequest().kind, Reply::Kind::HangUp);
}

TEST(SimulatedPrinterBehaviour, EarlyPutsTheTerminatorInSecondPlace)
{
    SimulatedPrinter printer("p");
    printer.SetFault(Fault::PaperLow, true);
    printer.SetFault(Fault::PaperJam, true);
    printer.SetBehaviour(Behaviour::Early);
    EXPECT_EQ(printer.ReplyToRequest().bytes, (Bytes{0x01, 0xF0, 0x00, 0xF0}));
    printer.SetRaw({0x07});
    EXPECT_EQ(printer.ReplyToRequest().bytes, (Bytes{0x07, 0xF0}));
}

TEST(SimulatedPrinterBehaviour, GarbageHasTheAskedLengthAndNoTerminator)
{
    SimulatedPrinter printer("p");
    for (int count : {1, 4, 2000}) {
        printer.SetBehaviour(Behaviour::Garbage, count);
        Bytes bytes = printer.ReplyToRequest().bytes;
        EXPECT_EQ(bytes.size(), static_cast<size_t>(count));
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xF0), 0) << count << " bytes";
    }
}

TEST(SimulatedPrinterBehaviour, NormalEndsAMisbehaviour)
{
    SimulatedPrinter printer("p");
    printer.SetBehaviour(Behaviour::Delay, 100);
    printer.SetBehaviour(Behaviour::Normal);
    Reply reply = printer.ReplyToRequest();
    EXPECT_EQ(reply.delayMs, 0);
    EXPECT_EQ(reply.bytes, (Bytes{0x00, 0x00, 0x00, 0xF0}));
}

TEST(SimulatedPrinterBehaviour, DescribeTellsWhetherItListens)
{
    SimulatedPrinter printer("p");
    printer.SetListening(false);
    printer.SetBehaviour(Behaviour::Garbage, 9);
    EXPECT_EQ(printer.Describe(), "00 00 00 F0 (garbage 9 bytes, not listening)");
}

}
