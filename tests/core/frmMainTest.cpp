// The main window's layout: columns, port labels and the picture it draws;
// which printers its status servers serve.
#include "platform/LabelControl.h"
#include "printer/CommandExchange.h"
#include "printer/DecodeStatus.h"
#include "socket/CNetSocket.h"
#include "support/LoadedForm.h"
#include "support/StatusClient.h"

#include <QFontInfo>
#include <QImage>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <tuple>

namespace {

class frmMainTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(frmMainTest, TheWindowWidensByOneColumnPerPrinterAndHidesTheTerminalBox)
{
    const std::pair<int, int> widths[] = {{1, 3315}, {2, 6440}, {3, 9540}, {10, 31240}};
    for (const auto& [count, width] : widths) {
        auto form = LoadForm(dir_, PrintersIni(count));
        EXPECT_EQ(form->Width(), width) << count << " printers";
        // The client area is the outer size less frame and caption, at 15 twips a pixel.
        EXPECT_EQ(form->width(), (width - 75) / 15);
        EXPECT_EQ(form->height(), 231);
        EXPECT_GE(form->Text1->geometry().top(), form->height()) << "the terminal box is in view";
    }
}

// The first two printers with a valid status port get the two servers,
// each answering with its own printer's stored status.
TEST_F(frmMainTest, PortLabelsNameTheTransportAndTheStatusPortAndTheFirstTwoPortsAreServed)
{
    const std::string a = std::to_string(FreeLoopbackPort());
    const std::string b = std::to_string(FreeLoopbackPort());
    const std::string c = std::to_string(FreeLoopbackPort());
    auto form = LoadForm(dir_, "[General]\nPrinters=6\n"
                               "[Printer1]\nPort=2\n"
                               "[Printer2]\nPort=0\nName=Kiosk A\nStatusServerSocket=" + a + "\n"
                               "[Printer3]\nPort=-1\n"
                               "[Printer4]\nPort=1\nStatusServerSocket=0" + b + "\n"
                               "[Printer5]\nPort=0\nIP=127.0.0.5\nStatusServerSocket=0\n"
                               "[Printer6]\nPort=-3\nStatusServerSocket=" + c + "\n");
    const std::string expected[] = {"COM:2", "Kiosk A [" + a + "]", "USB", "COM:1 [" + b + "]", "127.0.0.5", "USB [" + c + "]"};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(form->Columns.lblPrinterPort[i]->Caption(), expected[i]) << "printer " << i + 1;
    form->PrinterTable[3].StatusBytes = std::string("\x04\x00\x12\xF0", 4);
    StatusClient served(std::stoi(b));
    served.Send(kStatusCommand);
    EXPECT_EQ(served.Receive(4, 10000), form->PrinterTable[3].StatusBytes);
    EXPECT_FALSE(StatusClient(std::stoi(c)).Connected()) << "a third port is served";
    EXPECT_EQ(LoadForm(dir_, PrintersIni(1))->Servers.tcpServer1->State(), sckClosed) << "a server without a printer";
    EXPECT_TRUE(form->RTSEnable && form->SerialInBufferSize == 32764 && form->SerialOutBufferSize == 16384)
        << "the window's serial ports open with RTS on";
}

// Colour of the pixel at a point given in twips.
QColor PixelAt(const QImage& image, int xTwips, int yTwips)
{
    return image.pixelColor(xTwips / 15, yTwips / 15);
}

TEST_F(frmMainTest, RendersBlackWindowWhiteFramesGreyTitlesAndColouredRows)
{
    auto form = LoadForm(dir_, PrintersIni(3));
    DecodeStatus(StatusRecord{0x04, 0x00, 0x12, 0x00}, 0, *form);
    DecodeStatus(StatusRecord{0x00, 0x00, 0x00, 0x00}, 1, *form);
    form->show();
    const QImage image = form->grab().toImage();
    image.save(QString::fromLatin1(Q62M_ARTIFACT_DIR) + "/main-window-three-printers.png");

    EXPECT_EQ(PixelAt(image, 60, 1800), QColor(Qt::black));            // window background
    EXPECT_EQ(PixelAt(image, 1800, 3360), QColor(Qt::white));          // bottom frame, column 0
    EXPECT_EQ(PixelAt(image, 3120 + 3100, 1800), QColor(Qt::white));   // right frame, column 1
    EXPECT_EQ(PixelAt(image, 400 + 6200, 500), QColor(64, 64, 64));    // title row, column 2
    EXPECT_EQ(PixelAt(image, 300, 760), QColor(255, 0, 0));            // Paper Empty, column 0
    EXPECT_EQ(PixelAt(image, 300, 1480), QColor(0, 128, 0));           // Print Head Ok, column 0
    EXPECT_EQ(PixelAt(image, 300 + 3100, 760), QColor(0, 128, 0));     // Paper Ok, column 1
    EXPECT_EQ(PixelAt(image, 300 + 6200, 760), QColor(128, 128, 128)); // No Status, column 2

    // The fonts really drawn with, in the last column as in the first: fontconfig
    // gives Liberation's metric twins for Arial and Arial Narrow.
    const std::tuple<LabelControl*, const char*, double> fonts[] = {
        {form->Columns.lblPrinterPort[2], "Liberation Sans Narrow", 12},
        {form->Columns.lblCutterStatusTitle[2], "Liberation Sans", 9.75},
        {form->lblCutterStatusMessage[2], "Liberation Sans Narrow", 14.25}};
    for (const auto& [label, family, points] : fonts) {
        const QFontInfo used(label->font());
        EXPECT_EQ(used.family(), family);
        EXPECT_EQ(used.pointSizeF(), points);
        EXPECT_TRUE(used.bold());
    }
}

}  // namespace
