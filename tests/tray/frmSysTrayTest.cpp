// The tray window with a loaded main window: start-up, the pictures, the
// menu, the close box and the shutdown that Exit runs. What a user sees on a
// real desktop (the pictures and the icon's colour after each pass, a
// double-click, Exit in the menu ending the program) is TrayDesktopTest's.
#include "core/frmMain.h"
#include "platform/EventPump.h"
#include "runtime/RuntimeError.h"
#include "support/TempDir.h"
#include "tray/clsTrayIcon.h"
#include "tray/frmSysTray.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>
#include <memory>

namespace {

class frmSysTrayTest : public ::testing::Test {
protected:
    // Loads both windows over one USB printer; no monitor loop runs.
    void Load()
    {
        tray_.reset();
        dir_.Write("StatusMonitorQ62m.ini", "[Printer1]\nPort=-1\n");
        form_ = std::make_unique<frmMain>(dir_.File("StatusMonitorQ62m.ini"));
        tray_ = std::make_unique<frmSysTray>(*form_);
        ASSERT_TRUE(tray_->Form_Load());
    }

    // Sends the tray window a notification code, as the icon does.
    void Notify(int32_t code)
    {
        tray_->Form_MouseMove(0, 0, static_cast<float>(code), 0);
        DoEvents();
    }

    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    std::unique_ptr<frmSysTray> tray_;
};

// The error's message is shown after the load: without the icon beside it.
TEST_F(frmSysTrayTest, AMainWindowThatFailsToLoadTakesTheIconAway)
{
    dir_.Write("bad.ini", "[Printer1]\nPort=USB\n");
    frmMain bad(dir_.File("bad.ini"));
    frmSysTray tray(bad);
    EXPECT_THROW(tray.Form_Load(), RuntimeError);
    EXPECT_FALSE(tray.SysTray);
}

TEST_F(frmSysTrayTest, TheMenuOfShowAndExitOpensOnTheRightButtonsReleaseOnly)
{
    Load();
    QStringList items;
    for (const QAction* item : tray_->mnuSysTray->actions())
        items << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(items, QStringList({"Show", "-", "Exit"}));
    Notify(WM_RBUTTONDOWN);
    EXPECT_FALSE(tray_->mnuSysTray->isVisible());
    Notify(WM_RBUTTONUP);
    EXPECT_TRUE(tray_->mnuSysTray->isVisible());
    tray_->mnuSysTray->hide();
}

TEST_F(frmSysTrayTest, StartUpPutsUpTheIconAndLeavesBothWindowsHiddenUntilShowAndASingleClickDoesNothing)
{
    Load();
    EXPECT_EQ(tray_->SysTray->Shell().Icon().toolTip(), "Kelvaran Q62M Status Monitor");
    EXPECT_FALSE(tray_->isVisible());
    Notify(WM_LBUTTONUP);
    EXPECT_FALSE(form_->isVisible());
    tray_->mnuPopup[0]->trigger();
    EXPECT_TRUE(form_->isVisible());
    form_->showMinimized();
    tray_->mnuPopup[0]->trigger();
    EXPECT_TRUE(form_->isVisible() && !form_->isMinimized());
}

// The program ends where the unload ends.
TEST_F(frmSysTrayTest, ExitReleasesTheSocketsAndTheIconBeforeTheUnloadEnds)
{
    Load();
    bool released = false;
    QObject::connect(form_.get(), &frmMain::Unloaded,
                     [&] { released = !tray_->SysTray && !form_->Servers.tcpServer1 && !form_->Servers.tcpServer2 && !form_->Winsock1; });
    tray_->mnuPopup[2]->trigger();
    EXPECT_TRUE(released);
}

// Every close but the close box unloads; the close box hides the window, or
// minimises it without a notification area, and monitoring goes on.
TEST_F(frmSysTrayTest, EveryCloseButTheCloseBoxUnloads)
{
    for (int16_t mode : {frmMain::kUnloadFormCode, frmMain::kUnloadAppWindows, frmMain::kUnloadTaskManager}) {
        Load();
        EXPECT_TRUE(form_->Unload(mode)) << mode;
        EXPECT_TRUE(form_->QuitRequested && !tray_->SysTray) << mode;
    }
    Load();
    form_->show();
    form_->close();
    EXPECT_FALSE(form_->isVisible()) << "the close box hides";
    EXPECT_FALSE(form_->QuitRequested);
    EXPECT_TRUE(tray_->SysTray) << "the icon stays";
    form_->CloseBoxMinimises = true;
    form_->show();
    form_->close();
    EXPECT_TRUE(form_->isVisible() && form_->isMinimized());
    // A Wayland compositor minimises without a word; Qt reports the window restored at once.
    form_->setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(form_->InView()) << "the fault would not bring the window back";
    form_->ShowWithoutActivating();
    EXPECT_TRUE(form_->InView());
}

}  // namespace
