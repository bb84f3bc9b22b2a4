// The tray window with a loaded main window: start-up, the icon's pictures,
// the menu, the close box and the shutdown that Exit runs.
#include "runtime/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/EventPump.h"
#include "platform/LabelControl.h"
#include "printer/CommandExchange.h"
#include "support/StatusClient.h"
#include "support/LoadedForm.h"
#include "tray/TrayPictures.h"
#include "tray/clsTrayIcon.h"
#include "tray/frmSysTray.h"

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace {

const std::string kStatus("\x04\x00\x12\xF0", 4);

class frmSysTrayTest : public ::testing::Test {
protected:
    // Loads both windows over `ini`; no monitor loop runs.
    void Load(const std::string& ini)
    {
        dir_.Write("StatusMonitorQ62m.ini", ini);
        form_ = std::make_unique<frmMain>(dir_.File("StatusMonitorQ62m.ini"));
        tray_ = std::make_unique<frmSysTray>(*form_);
        ASSERT_TRUE(tray_->Form_Load());
    }

    // Two USB printers, each with its own status server.
    void LoadTwoServedPrinters()
    {
        port1_ = FreeLoopbackPort();
        port2_ = FreeLoopbackPort();
        Load(ServedUsbPrintersIni({port1_, port2_}, "UpdateInterval=1"));
    }

    QSystemTrayIcon& Shown() { return tray_->SysTray->Shell().Icon(); }

    // Sends the tray window a notification code, as the icon does.
    void Notify(int32_t code)
    {
        tray_->Form_MouseMove(0, 0, static_cast<float>(code), 0);
        DoEvents();
    }

    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    std::unique_ptr<frmSysTray> tray_;
    int32_t port1_ = 0;
    int32_t port2_ = 0;
};

const char* kOnePrinter = "[Printer1]\nPort=-1\n";

TEST_F(frmSysTrayTest, StartUpPutsUpTheAllWellIconAndTheLoopSwitchesItsPicture)
{
    Load(PrintersIni(2));
    EXPECT_EQ(form_->PrinterCount, 2) << "the tray window's load loaded the main window";
    ASSERT_TRUE(tray_->SysTray);
    EXPECT_TRUE(tray_->SysTray->Shell().Added());
    EXPECT_EQ(Shown().icon().cacheKey(), form_->windowIcon().cacheKey());
    EXPECT_EQ(Shown().toolTip(), "Kelvaran Q62M Status Monitor");
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(tray_->isVisible());

    form_->ShowTrayPicture(TrayPicture::Fault);
    EXPECT_EQ(Shown().icon().cacheKey(), tray_->windowIcon().cacheKey());
    form_->ShowTrayPicture(TrayPicture::Normal);
    EXPECT_EQ(Shown().icon().cacheKey(), form_->windowIcon().cacheKey());
}

TEST_F(frmSysTrayTest, AMainWindowThatFailsToLoadLeavesNoIcon)
{
    frmMain missing(dir_.File("absent.ini"));
    frmSysTray trayForMissing(missing);
    EXPECT_FALSE(trayForMissing.Form_Load());
    EXPECT_FALSE(trayForMissing.SysTray);

    dir_.Write("bad.ini", "[Printer1]\nPort=USB\n");
    frmMain bad(dir_.File("bad.ini"));
    frmSysTray trayForBad(bad);
    EXPECT_THROW(trayForBad.Form_Load(), RuntimeError);
    EXPECT_FALSE(trayForBad.SysTray);
}

TEST(TrayPicturesTest, TheAllWellPictureIsAWhiteTickOnGreenAndTheFaultPictureAWhiteMarkOnRed)
{
    const QImage allWell = AllWellPicture().pixmap(32, 32).toImage();
    const QImage fault = FaultPicture().pixmap(32, 32).toImage();
    ASSERT_EQ(allWell.size(), QSize(32, 32));
    ASSERT_EQ(fault.size(), QSize(32, 32));
    auto shade = [](const QImage& image, int x, int y) -> std::string {
        const QColor c = image.pixelColor(x, y);
        if (c.alpha() < 200)
            return "clear";
        if (std::max({c.red(), c.green(), c.blue()}) < 100)
            return "dark";
        if (c.red() > 200 && c.green() > 200 && c.blue() > 200)
            return "white";
        return c.red() > 150 && c.green() < 80 && c.blue() < 80 ? "red" : c.green() > 100 && c.red() < 80 ? "green" : "other";
    };
    const std::tuple<const QImage&, int, int, std::string> pixels[] = {
        {allWell, 31, 16, "clear"}, {allWell, 10, 17, "white"}, {allWell, 14, 21, "white"}, {allWell, 19, 15, "white"},
        {allWell, 16, 8, "green"}, {allWell, 6, 10, "green"},  {allWell, 22, 23, "green"},
        {fault, 16, 31, "clear"},  {fault, 16, 9, "white"},    {fault, 16, 16, "white"},   {fault, 15, 23, "white"},
        {fault, 10, 16, "red"},   {fault, 22, 16, "red"},     {fault, 16, 20, "red"}};
    for (const auto& [image, x, y, expected] : pixels)
        EXPECT_EQ(shade(image, x, y), expected) << (&image == &fault ? "fault " : "all well ") << x << "," << y;
    for (const QImage* image : {&allWell, &fault})
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                EXPECT_NE(shade(*image, x, y), "dark") << "an outline where none belongs at " << x << "," << y;
}

TEST_F(frmSysTrayTest, TheMenuOfShowASeparatorAndExitOpensOnTheRightButtonsReleaseOnly)
{
    Load(kOnePrinter);
    ASSERT_EQ(tray_->mnuSysTray->actions().size(), 3);
    EXPECT_EQ(tray_->mnuPopup[0]->text(), "Show");
    EXPECT_TRUE(tray_->mnuPopup[1]->isSeparator());
    EXPECT_EQ(tray_->mnuPopup[2]->text(), "Exit");
    Notify(WM_RBUTTONDOWN);
    EXPECT_FALSE(tray_->mnuSysTray->isVisible());
    Notify(WM_RBUTTONUP);
    EXPECT_TRUE(tray_->mnuSysTray->isVisible());
    tray_->mnuSysTray->hide();
}

TEST_F(frmSysTrayTest, ADoubleClickOrShowBringsTheMainWindowIntoViewAndSingleClicksDoNothing)
{
    Load(kOnePrinter);
    // From the desktop's report through the tray window's mouse messages.
    Notify(WM_LBUTTONUP);
    EXPECT_FALSE(form_->isVisible());
    emit Shown().activated(QSystemTrayIcon::DoubleClick);
    DoEvents();
    EXPECT_TRUE(form_->isVisible());

    form_->hide();
    tray_->mnuPopup[0]->trigger();
    EXPECT_TRUE(form_->isVisible());
    tray_->mnuPopup[0]->trigger();
    EXPECT_TRUE(form_->isVisible()) << "Show on a visible window";
    form_->showMinimized();
    tray_->mnuPopup[0]->trigger();
    EXPECT_FALSE(form_->isMinimized());
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(frmSysTrayTest, ExitClosesBothServersRemovesTheIconAndThenEndsTheUnload)
{
    LoadTwoServedPrinters();
    StatusClient client1(port1_);
    StatusClient client2(port2_);
    ASSERT_TRUE(client1.Connected());
    ASSERT_TRUE(client2.Connected());
    PumpFor(100);

    int unloads = 0;
    bool iconGoneFirst = false;
    QObject::connect(form_.get(), &frmMain::Unloaded, [&] {
        ++unloads;
        iconGoneFirst = !tray_->SysTray && !form_->tcpServer1 && !form_->tcpServer2 && !form_->Winsock1;
    });
    tray_->mnuPopup[2]->trigger();

    EXPECT_EQ(unloads, 1);
    EXPECT_TRUE(iconGoneFirst) << "the sockets and the icon are released before the unload ends";
    EXPECT_TRUE(form_->QuitRequested);
    EXPECT_FALSE(form_->LinkOpen);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(client1.ClosedWithin(2000));
    EXPECT_TRUE(client2.ClosedWithin(2000));
    form_->ShowTrayPicture(TrayPicture::Fault);
    tray_->mnuPopup[2]->trigger();
    EXPECT_EQ(unloads, 1) << "the unload runs once";
}

// Every close but the close box unloads; the close box hides the window, or
// minimises it without a notification area, and monitoring goes on.
TEST_F(frmSysTrayTest, EveryCloseButTheCloseBoxUnloads)
{
    for (int16_t mode : {frmMain::kUnloadFormCode, frmMain::kUnloadAppWindows, frmMain::kUnloadTaskManager}) {
        Load(kOnePrinter);
        EXPECT_TRUE(form_->Unload(mode)) << mode;
        EXPECT_TRUE(form_->QuitRequested) << mode;
        EXPECT_FALSE(tray_->SysTray) << mode;
        tray_.reset();
        form_.reset();
    }
    LoadTwoServedPrinters();
    form_->PrinterTable[1].StatusBytes = kStatus;
    form_->show();
    form_->close();
    EXPECT_FALSE(form_->isVisible()) << "the close box hides";
    EXPECT_FALSE(form_->QuitRequested);
    EXPECT_TRUE(tray_->SysTray) << "the icon stays";
    StatusClient client(port2_);
    client.Send(kStatusCommand);
    EXPECT_EQ(client.Receive(4, 3000), kStatus);

    form_->CloseBoxMinimises = true;
    form_->show();
    form_->close();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->isMinimized());
    EXPECT_FALSE(form_->QuitRequested);
}

}  // namespace
