// Serial printers over pseudo-terminals, on a printer context without the
// main window: the poll end to end, the port settings SetCom gives the
// device, and every way the port can fail to open without anyone hearing of
// it.
#include "PrinterLinkFixture.h"

#include "printer/PollPrinter.h"
#include "printer/SerialTransport.h"
#include "printer/W32Comms.h"
#include "support/RecordingSerialLine.h"
#include "support/RuntimeErrors.h"

namespace {

class SerialTransportTest : public SerialPrinterFixture {
protected:
    // Whether another user of the device could open it now.
    bool DeviceFree() const
    {
        MSComm other;
        other.SetDevicePath(printer.Path());
        return CaughtError([&] { other.SetPortOpen(true); }).Number() == 0;
    }

    // SetCom must fail quietly: no link, no port, the device left free,
    // nothing on standard error (where every message box text goes too).
    void ExpectQuietFailure(const std::string& what, int16_t index = 0)
    {
        testing::internal::CaptureStderr();
        SetCom(context, index);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << what;
        EXPECT_FALSE(context.LinkOpen) << what;
        EXPECT_FALSE(context.MSComm1->PortOpen()) << what;
        EXPECT_TRUE(DeviceFree()) << what;
        EXPECT_FALSE(PollPrinter(context, index)) << what;
        EXPECT_EQ(printer.Requests(), 0) << what << ": nothing is sent without a link";
    }
};

TEST_F(SerialTransportTest, APrinterIsPolledEndToEndAndTheNextDoesNotReuseItsPort)
{
    printer.Answer = std::string("\x04\x00\x12\xF0", 4);
    EXPECT_TRUE(PollPrinter(context, 0));
    EXPECT_EQ(printer.Received(), kStatusCommand);
    EXPECT_EQ(context.Stored(0), printer.Answer) << "byte 2 is stored though not decoded";
    EXPECT_EQ(context.Paper(0), "Empty");
    EXPECT_FALSE(context.LinkOpen);
    EXPECT_TRUE(DeviceFree()) << "the port is closed after the poll";

    EXPECT_FALSE(PollPrinter(context, 1));
    EXPECT_EQ(printer.Requests(), 1) << "a printer whose link fails is not asked over the previous one's port";
    EXPECT_EQ(context.Stored(1), "");
    EXPECT_EQ(context.Paper(1), "");
}

TEST_F(SerialTransportTest, ThePortOpensProvisionallyWithTheStoredFramingThenTakesItsSpeed)
{
    PrinterEntry& entry = context.PrinterTable[0];
    std::tie(entry.BaudRate, entry.Parity, entry.DataBits, entry.StopBits) = std::tuple("57600", "even", "7 bits", "2");
    RecordingSerialLine line(context.MSComm1->DeviceLine());
    context.MSComm1->SetLine(&line);
    SetCom(context, 0);
    ASSERT_TRUE(context.LinkOpen);
    EXPECT_EQ(line.parity, 'e');
    EXPECT_EQ(line.dataBits, 7);
    EXPECT_EQ(line.speeds, (std::vector<uint32_t>{1200, 57600}));
    termios settings = printer.Pty().Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);
    EXPECT_TRUE(context.MSComm1->DTREnable());
    EXPECT_TRUE(context.MSComm1->RTSEnable());

    ClosePort(context);
    EXPECT_FALSE(context.LinkOpen);
    EXPECT_FALSE(context.MSComm1->PortOpen());
    line.refusedSpeed = 115200;
    entry = SerialPrinter(printer.Path());
    ExpectQuietFailure("a speed the device refuses");
    context.MSComm1->SetLine(nullptr);
}

// A speed text that is one number opens at that speed; a value the port
// cannot take leaves no link.
TEST_F(SerialTransportTest, ThePortTakesItsSpeedFromTheTextOrFailsQuietly)
{
    const std::tuple<std::string PrinterEntry::*, const char*, int32_t> cases[] = {
        {&PrinterEntry::BaudRate, " 9600 ", 9600},  {&PrinterEntry::BaudRate, "2.5E5", 250000},
        {&PrinterEntry::BaudRate, "abc", 0},        {&PrinterEntry::BaudRate, "1E10", 0},
        {&PrinterEntry::BaudRate, "-9600", 0},      {&PrinterEntry::StopBits, "1.5", 0},
        {&PrinterEntry::BaudRate, "9600,E", 0},
        {&PrinterEntry::Parity, "e", 0}};  // a pseudo-terminal cannot hold parity
    for (const auto& [field, text, speed] : cases) {
        context.PrinterTable[0] = SerialPrinter(printer.Path());
        context.PrinterTable[0].*field = text;
        if (speed == 0) {
            ExpectQuietFailure(text);
            continue;
        }
        SetCom(context, 0);
        EXPECT_TRUE(context.LinkOpen) << text;
        EXPECT_EQ(GetCommBaudRate(*context.MSComm1), speed) << text;
        ClosePort(context);
    }
    ExpectQuietFailure("COM99", 1);
    EXPECT_EQ(context.MSComm1->DeviceName(), "/dev/ttyS98") << "COM n is /dev/ttyS(n-1) unless a device is named";
}

}  // namespace
