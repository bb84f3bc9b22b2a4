// The main window's layout: columns, port labels and the picture it draws.
#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/LabelControl.h"
#include "platform/LineControl.h"
#include "printer/DecodeStatus.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <QImage>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

std::string PrintersIni(int count, const std::string& printerKeys = "Port=-1\n")
{
    std::string ini = "[General]\nPrinters=" + std::to_string(count) + "\n";
    for (int i = 1; i <= count; ++i)
        ini += "[Printer" + std::to_string(i) + "]\n" + printerKeys;
    return ini;
}

class frmMainTest : public ::testing::Test {
protected:
    std::unique_ptr<frmMain> Load(const std::string& ini)
    {
        dir_.Write("StatusMonitorQ62m.ini", ini);
        auto form = std::make_unique<frmMain>(dir_.File("StatusMonitorQ62m.ini"));
        EXPECT_TRUE(form->Form_Load());
        return form;
    }

    TempDir dir_;
};

TEST_F(frmMainTest, TheWindowWidensByOneColumnPerPrinter)
{
    const std::pair<int, int> widths[] = {{1, 3315}, {2, 6440}, {3, 9540}, {10, 31240}};
    for (const auto& [count, width] : widths) {
        auto form = Load(PrintersIni(count));
        EXPECT_EQ(form->Width(), width) << count << " printers";
        EXPECT_EQ(form->Height(), 3870);
        // The client area is the outer size less frame and caption, at 15 twips a pixel.
        EXPECT_EQ(form->width(), (width - 75) / 15);
        EXPECT_EQ(form->height(), 231);
        EXPECT_EQ(form->lblPrinterPort.size(), static_cast<size_t>(count));
        EXPECT_EQ(form->lblPresenterStatusMessage.size(), static_cast<size_t>(count));
        EXPECT_EQ(form->lineRightSide.size(), static_cast<size_t>(count));
    }
}

TEST_F(frmMainTest, EachColumnIsColumnZeroMovedRight)
{
    auto form = Load(PrintersIni(3));
    for (int i = 0; i < 3; ++i) {
        const int shift = 3100 * i;
        EXPECT_EQ(form->lblPrinterPort[i]->LeftTwips(), i == 0 ? 300 : 320 + shift);
        EXPECT_EQ(form->lblPrinterPort[i]->TopTwips(), 75);
        EXPECT_EQ(form->lblPrinterPort[i]->WidthTwips(), 1335);
        EXPECT_EQ(form->lblPaperStatusTitle[i]->LeftTwips(), 240 + shift);
        EXPECT_EQ(form->lblPaperStatusTitle[i]->TopTwips(), 480);
        EXPECT_EQ(form->lblPaperStatusMessage[i]->TopTwips(), 735);
        EXPECT_EQ(form->lblPaperStatusMessage[i]->HeightTwips(), 375);
        EXPECT_EQ(form->lblPresenterStatusMessage[i]->TopTwips(), 2895);
        EXPECT_EQ(form->lblPresenterStatusMessage[i]->WidthTwips(), 2775);
        EXPECT_EQ(form->lineTop[i]->X1(), 120 + shift);
        EXPECT_EQ(form->lineTop[i]->X2(), 3120 + shift);
        EXPECT_EQ(form->lineTop[i]->Y1(), 240);
        EXPECT_EQ(form->lineBottom[i]->Y1(), 3360);
        EXPECT_EQ(form->lineLeftSide[i]->X1(), 120 + shift);
        EXPECT_EQ(form->lineRightSide[i]->X1(), 3120 + shift);
        EXPECT_EQ(form->lineRightSide[i]->Y2(), 240);
        EXPECT_EQ(form->lblCutterStatusTitle[i]->Caption(), "Cutter");
        EXPECT_EQ(form->lblCutterStatusMessage[i]->Caption(), "No Status");
        EXPECT_EQ(form->lblCutterStatusMessage[i]->BackColor(), 0x808080u);
        EXPECT_EQ(form->lblCutterStatusTitle[i]->BackColor(), 0x404040u);
        EXPECT_EQ(form->lblCutterStatusMessage[i]->font().family(), "Arial Narrow");
        EXPECT_EQ(form->lblCutterStatusMessage[i]->font().pointSizeF(), 14.25);
        EXPECT_TRUE(form->lblCutterStatusMessage[i]->font().bold());
        EXPECT_EQ(form->lblCutterStatusTitle[i]->font().family(), "Arial");
        EXPECT_EQ(form->lblCutterStatusTitle[i]->font().pointSizeF(), 9.75);
        EXPECT_FALSE(form->lblCutterStatusTitle[i]->isHidden());
        EXPECT_FALSE(form->lineBottom[i]->isHidden());
    }
}

TEST_F(frmMainTest, PortLabelsNameTheTransportAndTheStatusPort)
{
    // The load binds the first two status ports, so they must be free.
    const std::string a = std::to_string(FreeLoopbackPort());
    const std::string b = std::to_string(FreeLoopbackPort());
    auto form = Load("[General]\nPrinters=6\n"
                     "[Printer1]\nPort=2\n"
                     "[Printer2]\nPort=0\nName=Kiosk A\nStatusServerSocket=" + a + "\n"
                     "[Printer3]\nPort=-1\n"
                     "[Printer4]\nPort=1\nStatusServerSocket=0" + b + "\n"
                     "[Printer5]\nPort=0\nIP=127.0.0.5\nStatusServerSocket=0\n"
                     "[Printer6]\nPort=-3\nStatusServerSocket=6000\n");
    const std::string expected[] = {"COM:2", "Kiosk A [" + a + "]", "USB", "COM:1 [" + b + "]", "127.0.0.5",
                                    "USB [6000]"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(form->lblPrinterPort[i]->Caption(), expected[i]) << "printer " << i + 1;
    EXPECT_EQ(form->PrinterTable[4].PortLabel, "127.0.0.5");
    EXPECT_EQ(form->PrinterTable[1].PortLabel, "Kiosk A");
}

TEST_F(frmMainTest, AnEleventhPrinterCannotBeLaidOut)
{
    dir_.Write("StatusMonitorQ62m.ini", PrintersIni(11));
    frmMain form(dir_.File("StatusMonitorQ62m.ini"));
    try {
        form.Form_Load();
        FAIL() << "eleven printers were laid out";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrOverflow);
    }
}

TEST_F(frmMainTest, TheTerminalBoxLiesBelowTheVisibleArea)
{
    for (int count : {1, 4, 10}) {
        auto form = Load(PrintersIni(count));
        EXPECT_GE(form->Text1->geometry().top(), form->height()) << count << " printers";
    }
}

TEST_F(frmMainTest, LoadEndsWithTheSerialDefaults)
{
    auto form = Load(PrintersIni(1));
    EXPECT_EQ(form->SerialInBufferSize, 32764);
    EXPECT_EQ(form->SerialOutBufferSize, 16384);
    EXPECT_TRUE(form->RTSEnable);
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_FALSE(form->QuitRequested);
    EXPECT_EQ(form->windowTitle(), "Kelvaran Status Monitor Q62m");
}

// Colour of the pixel at a point given in twips.
QColor PixelAt(const QImage& image, int xTwips, int yTwips)
{
    return image.pixelColor(xTwips / 15, yTwips / 15);
}

TEST_F(frmMainTest, RendersBlackWindowWhiteFramesGreyTitlesAndColouredRows)
{
    auto form = Load("[General]\nPrinters=3\n"
                     "[Printer1]\nPort=1\nStatusServerSocket=" + std::to_string(FreeLoopbackPort()) + "\n"
                     "[Printer2]\nPort=0\nName=Kiosk A\nStatusServerSocket=" + std::to_string(FreeLoopbackPort()) + "\n"
                     "[Printer3]\nPort=-1\n");
    DecodeStatus(StatusRecord{0x04, 0x00, 0x12, 0x00}, 0, *form);
    DecodeStatus(StatusRecord{0x00, 0x00, 0x00, 0x00}, 1, *form);
    form->show();
    const QImage image = form->grab().toImage();
    image.save(QString::fromLatin1(Q62M_ARTIFACT_DIR) + "/main-window-three-printers.png");

    EXPECT_EQ(PixelAt(image, 60, 1800), QColor(Qt::black));          // window background
    EXPECT_EQ(PixelAt(image, 1800, 3360), QColor(Qt::white));        // bottom frame, column 0
    EXPECT_EQ(PixelAt(image, 3120 + 3100, 1800), QColor(Qt::white)); // right frame, column 1
    EXPECT_EQ(PixelAt(image, 400 + 6200, 500), QColor(64, 64, 64));  // title row, column 2
    EXPECT_EQ(PixelAt(image, 300, 760), QColor(255, 0, 0));          // Paper Empty, column 0
    EXPECT_EQ(PixelAt(image, 300, 1480), QColor(0, 128, 0));         // Print Head Ok, column 0
    EXPECT_EQ(PixelAt(image, 300 + 3100, 760), QColor(0, 128, 0));   // Paper Ok, column 1
    EXPECT_EQ(PixelAt(image, 300 + 6200, 760), QColor(128, 128, 128)); // No Status, column 2
}

}  // namespace
