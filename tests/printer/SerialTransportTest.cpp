// Serial printers over pseudo-terminals: the poll end to end, the port
// settings SetCom gives the device, and every way the port can fail to open
// without the user hearing of it.
#include "SerialPrinterFixture.h"

#include "core/RuntimeError.h"
#include "platform/LabelControl.h"
#include "platform/MSComm.h"
#include "printer/PollPrinter.h"
#include "printer/SerialTransport.h"
#include "printer/W32Comms.h"
#include "support/RecordingSerialLine.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

const std::string kAllWell("\x00\x00\x00\xF0", 4);
const std::string kPaperEmpty("\x04\x00\x12\xF0", 4);

class SerialTransportTest : public SerialPrinterFixture {
protected:
    std::string Row(const std::vector<LabelControl*>& row) const { return row[0]->Caption(); }

    // Whether another user of the device could open it now.
    bool DeviceFree() const
    {
        MSComm other;
        other.SetDevicePath(printer.Path());
        try {
            other.SetPortOpen(true);
        } catch (const RuntimeError&) {
            return false;
        }
        return true;
    }

    // SetCom must fail quietly: no link, no port, nothing on standard error
    // (where every message box text goes as well).
    void ExpectQuietFailure(const std::string& what)
    {
        testing::internal::CaptureStderr();
        SetCom(*form, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << what;
        EXPECT_FALSE(form->LinkOpen) << what;
        EXPECT_FALSE(PortOpen()) << what;
        EXPECT_FALSE(PollPrinter(*form, 0)) << what;
        EXPECT_EQ(printer.Requests(), 0) << what << ": nothing is sent without a link";
    }
};

TEST_F(SerialTransportTest, APrinterAnsweringAllWellIsPolledEndToEnd)
{
    Load();
    printer.Answer = kAllWell;
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_EQ(printer.Received(), kStatusCommand);
    EXPECT_EQ(Stored(0), kAllWell);
    EXPECT_EQ(Row(form->lblPaperStatusMessage), "Ok");
    EXPECT_EQ(Row(form->lblPrintHeadStatusMessage), "Ok");
    EXPECT_EQ(Row(form->lblCutterStatusMessage), "Ok");
    EXPECT_EQ(Row(form->lblPresenterStatusMessage), "Ok");
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_FALSE(PortOpen());
    EXPECT_TRUE(DeviceFree()) << "the port is closed after the poll";
}

TEST_F(SerialTransportTest, AFaultAnswerIsReportedAndStoredWhole)
{
    Load();
    printer.Answer = kPaperEmpty;
    EXPECT_TRUE(PollPrinter(*form, 0));
    EXPECT_EQ(Stored(0), kPaperEmpty) << "byte 2 is stored though not decoded";
    EXPECT_EQ(Row(form->lblPaperStatusMessage), "Empty");
    EXPECT_FALSE(PortOpen());

    // The next poll finds the printer well again.
    printer.Answer = kAllWell;
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_EQ(Row(form->lblPaperStatusMessage), "Ok");
    EXPECT_EQ(printer.Requests(), 2);
}

TEST_F(SerialTransportTest, SpeedAndStopBitsAreReadBackFromTheOpenDevice)
{
    Load("BaudRate=57600\nStopBits=2");
    SetCom(*form, 0);
    ASSERT_TRUE(form->LinkOpen);
    ASSERT_TRUE(PortOpen());
    termios settings = printer.Pty().Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);
    EXPECT_EQ(GetCommBaudRate(*form->MSComm1), 57600);

    ClosePort(*form);
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_FALSE(PortOpen());
    EXPECT_EQ(GetCommBaudRate(*form->MSComm1), 0);
}

TEST_F(SerialTransportTest, ThePortOpensProvisionallyWithTheStoredFramingThenTakesItsSpeed)
{
    Load("BaudRate=19200\nParity=Even\nDataBits=7 bits\nStopBits=1");
    RecordingSerialLine line(form->MSComm1->DeviceLine());
    form->MSComm1->SetLine(&line);
    SetCom(*form, 0);
    ASSERT_TRUE(form->LinkOpen);
    EXPECT_EQ(line.parity, 'e');
    EXPECT_EQ(line.dataBits, 7);
    EXPECT_EQ(line.speeds, (std::vector<uint32_t>{1200, 19200}));
    EXPECT_FALSE(printer.Pty().Settings().c_cflag & CSTOPB);
}

TEST_F(SerialTransportTest, SpeedTextsThatAreOneNumberOpenAtThatSpeed)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"115200", 115200}, {" 9600 ", 9600}, {"&H4B00", 19200}, {"19200.5", 19200}, {"2.5E5", 250000}};
    for (const auto& [text, speed] : cases) {
        Load(std::string("BaudRate=") + text);
        SetCom(*form, 0);
        EXPECT_TRUE(form->LinkOpen) << text;
        EXPECT_EQ(GetCommBaudRate(*form->MSComm1), static_cast<int32_t>(speed)) << text;
        ClosePort(*form);
    }
}

TEST_F(SerialTransportTest, APortThatCannotBeSetUpLeavesNoLinkAndTellsNoOne)
{
    for (const char* speed : {"abc", "9600 baud", "1E10", "-9600"}) {
        Load(std::string("BaudRate=") + speed);
        ExpectQuietFailure(std::string("BaudRate ") + speed);
    }

    // Stop bits 1.5 exist on no port here.
    Load("StopBits=1.5");
    ExpectQuietFailure("StopBits 1.5");

    Load();
    RecordingSerialLine line(form->MSComm1->DeviceLine());
    form->MSComm1->SetLine(&line);
    line.refusedSpeed = 115200;
    ExpectQuietFailure("a speed the device refuses");
    ASSERT_GE(line.speeds.size(), 2u);
    EXPECT_EQ(line.speeds[0], 1200u) << "opened at the provisional speed";
    EXPECT_EQ(line.speeds[1], 115200u) << "then refused its own";
    int32_t baud = 9600;
    EXPECT_EQ(SetCommBaudRate(*form->MSComm1, baud), "comPortNotOpen");

    line.refusedSpeed = 0;
    line.unreadable = true;
    form->MSComm1->SetPortOpen(true);
    EXPECT_EQ(SetCommBaudRate(*form->MSComm1, baud), "comDCBError");
    line.unreadable = false;
    line.refusedSpeed = 9600;
    EXPECT_EQ(SetCommBaudRate(*form->MSComm1, baud), "comSetCommStateFailed");
    form->MSComm1->SetLine(nullptr);
    form->MSComm1->SetPortOpen(false);
}

TEST_F(SerialTransportTest, AMissingDeviceLeavesNoLinkAndTellsNoOne)
{
    Load("", 2, "[Printer2]\nPort=99\n");
    form->PrinterTable[0].Device = dir.File("no-such-tty");
    ExpectQuietFailure("a named device that does not exist");

    // COM99 is /dev/ttyS98, which no machine here has.
    testing::internal::CaptureStderr();
    SetCom(*form, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(form->LinkOpen);
}

TEST_F(SerialTransportTest, ADeviceHeldByAnotherProgramLeavesNoLinkUntilItIsLetGo)
{
    Load();
    printer.Answer = kAllWell;
    QProcess holder;
    holder.start(Q62M_SERIAL_HOLDER, {QString::fromStdString(printer.Path())});
    ASSERT_TRUE(holder.waitForReadyRead(5000)) << holder.readAllStandardError().toStdString();
    ASSERT_EQ(holder.readLine().trimmed().toStdString(), "held");

    ExpectQuietFailure("a device held by another program");

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_EQ(Stored(0), kAllWell);
}

TEST_F(SerialTransportTest, SetComPassesOverPrintersThatAreNotSerial)
{
    Load("", 3, "[Printer2]\nPort=0\nIP=127.0.0.1\n[Printer3]\nPort=-1\n");
    SetCom(*form, 0);
    ASSERT_TRUE(form->LinkOpen);
    for (int16_t index : {int16_t{1}, int16_t{2}}) {
        SetCom(*form, index);
        EXPECT_TRUE(form->LinkOpen) << index << ": the open serial link is not touched";
        EXPECT_TRUE(PortOpen()) << index;
    }
    SetCom(*form, 0);
    EXPECT_TRUE(form->LinkOpen) << "a port left open is closed and opened again";
}

TEST_F(SerialTransportTest, ClosePortWithNoPortOpenLeavesTheLinkAlone)
{
    Load();
    form->LinkOpen = true;
    ClosePort(*form);
    EXPECT_TRUE(form->LinkOpen);
    CloseLink(*form);
    EXPECT_FALSE(form->LinkOpen);
}

TEST_F(SerialTransportTest, APrinterWhoseLinkFailsDoesNotReuseThePreviousPrintersPort)
{
    Load("", 2, "[Printer2]\nPort=98\n");
    printer.Answer = kAllWell;
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_FALSE(PollPrinter(*form, 1));
    EXPECT_EQ(printer.Requests(), 1);
    EXPECT_EQ(Stored(1), "");
    EXPECT_EQ(Row(form->lblPaperStatusMessage), "Ok");
    EXPECT_EQ(form->lblPaperStatusMessage[1]->Caption(), "No Status");
}

}  // namespace
