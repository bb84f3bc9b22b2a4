// Serial printers over pseudo-terminals: the poll end to end, the port
// settings SetCom gives the device, and every way the port can fail to open
// without the user hearing of it.
#include "SerialPrinterFixture.h"

#include "runtime/RuntimeError.h"
#include "platform/LabelControl.h"
#include "platform/MSComm.h"
#include "printer/PollPrinter.h"
#include "printer/SerialTransport.h"
#include "printer/W32Comms.h"
#include "support/RecordingSerialLine.h"

#include <gtest/gtest.h>

namespace {

class SerialTransportTest : public SerialPrinterFixture {
protected:
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
    void ExpectQuietFailure(const std::string& what, int16_t index = 0)
    {
        testing::internal::CaptureStderr();
        SetCom(*form, index);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << what;
        EXPECT_FALSE(form->LinkOpen) << what;
        EXPECT_FALSE(PortOpen()) << what;
        EXPECT_FALSE(PollPrinter(*form, index)) << what;
        EXPECT_EQ(printer.Requests(), 0) << what << ": nothing is sent without a link";
    }
};

TEST_F(SerialTransportTest, APrinterIsPolledEndToEndAndItsPortClosedAfterEachPoll)
{
    Load();
    printer.Answer = std::string("\x04\x00\x12\xF0", 4);
    EXPECT_TRUE(PollPrinter(*form, 0));
    EXPECT_EQ(printer.Received(), kStatusCommand);
    EXPECT_EQ(Stored(0), std::string("\x04\x00\x12\xF0", 4)) << "byte 2 is stored though not decoded";
    EXPECT_EQ(form->lblPaperStatusMessage[0]->Caption(), "Empty");
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_TRUE(DeviceFree()) << "the port is closed after the poll";

    printer.Answer = std::string("\x00\x00\x00\xF0", 4);
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_EQ(form->lblPaperStatusMessage[0]->Caption(), "Ok");
    EXPECT_EQ(printer.Requests(), 2);
}

TEST_F(SerialTransportTest, ThePortOpensProvisionallyWithTheStoredFramingThenTakesItsSpeed)
{
    Load("BaudRate=57600\nParity=Even\nDataBits=7 bits\nStopBits=2");
    RecordingSerialLine line(form->MSComm1->DeviceLine());
    form->MSComm1->SetLine(&line);
    SetCom(*form, 0);
    ASSERT_TRUE(form->LinkOpen);
    EXPECT_EQ(line.parity, 'e');
    EXPECT_EQ(line.dataBits, 7);
    EXPECT_EQ(line.speeds, (std::vector<uint32_t>{1200, 57600}));
    termios settings = printer.Pty().Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);
    EXPECT_EQ(GetCommBaudRate(*form->MSComm1), 57600);
    EXPECT_TRUE(form->MSComm1->DTREnable());
    EXPECT_TRUE(form->MSComm1->RTSEnable());

    ClosePort(*form);
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_FALSE(PortOpen());
    EXPECT_EQ(GetCommBaudRate(*form->MSComm1), 0);
    form->MSComm1->SetLine(nullptr);
}

TEST_F(SerialTransportTest, ASpeedTextThatIsOneNumberOpensAtThatSpeed)
{
    const std::pair<const char*, int32_t> cases[] = {{" 9600 ", 9600}, {"&H4B00", 19200}, {"2.5E5", 250000}};
    for (const auto& [text, speed] : cases) {
        Load(std::string("BaudRate=") + text);
        SetCom(*form, 0);
        EXPECT_TRUE(form->LinkOpen) << text;
        EXPECT_EQ(GetCommBaudRate(*form->MSComm1), speed) << text;
        ClosePort(*form);
    }
}

TEST_F(SerialTransportTest, APortThatCannotBeOpenedOrSetUpLeavesNoLinkAndTellsNoOne)
{
    for (const char* keys : {"BaudRate=abc", "BaudRate=1E10", "BaudRate=-9600", "StopBits=1.5"}) {
        Load(keys);
        ExpectQuietFailure(keys);
    }
    // COM99 is /dev/ttyS98, which no machine here has.
    Load("", 2, "[Printer2]\nPort=99\n");
    ExpectQuietFailure("COM99", 1);
    form->PrinterTable[0].Device = dir.File("no-such-tty");
    ExpectQuietFailure("a named device that does not exist");

    Load();
    RecordingSerialLine line(form->MSComm1->DeviceLine());
    form->MSComm1->SetLine(&line);
    line.refusedSpeed = 115200;
    ExpectQuietFailure("a speed the device refuses");
    ASSERT_GE(line.speeds.size(), 2u);
    EXPECT_EQ(line.speeds[0], 1200u) << "opened at the provisional speed";
    EXPECT_EQ(line.speeds[1], 115200u) << "then refused its own";

    // What the speed helper names for each failure.
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

TEST_F(SerialTransportTest, APrinterWhoseLinkFailsDoesNotReuseThePreviousPrintersPort)
{
    Load("", 2, "[Printer2]\nPort=98\n");
    printer.Answer = std::string("\x00\x00\x00\xF0", 4);
    EXPECT_FALSE(PollPrinter(*form, 0));
    EXPECT_FALSE(PollPrinter(*form, 1));
    EXPECT_EQ(printer.Requests(), 1);
    EXPECT_EQ(Stored(1), "");
    EXPECT_EQ(form->lblPaperStatusMessage[1]->Caption(), "No Status");
}

}  // namespace
