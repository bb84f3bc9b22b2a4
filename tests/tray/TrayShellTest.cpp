// The notification area over QSystemTrayIcon: which notification code each
// of the desktop's reports becomes, and when the host hears of it.
#include "TrayHosts.h"
#include "platform/EventPump.h"
#include "tray/TrayShell.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using Codes = std::vector<int32_t>;

class TrayShellTest : public ::testing::Test {
protected:
    void Add(TrayShell& shell)
    {
        NotifyIconData record;
        record.hWnd = &host_;
        record.uFlags = NIF_MESSAGE;
        record.uCallbackMessage = WM_MOUSEMOVE;
        shell.NotifyIcon(NIM_ADD, record);
    }

    // What the host has been sent once the posted messages are handled.
    Codes Received()
    {
        DoEvents();
        return host_.codes;
    }

    RecordingHost host_;
};

TEST_F(TrayShellTest, EachReportOfTheDesktopReachesTheHostAsItsNotificationCode)
{
    TrayShell shell(false);
    Add(shell);
    emit shell.Icon().activated(QSystemTrayIcon::Trigger);
    emit shell.Icon().activated(QSystemTrayIcon::DoubleClick);
    emit shell.Icon().activated(QSystemTrayIcon::Context);
    emit shell.Icon().activated(QSystemTrayIcon::MiddleClick);
    emit shell.Icon().messageClicked();
    emit shell.Icon().activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(Received(), (Codes{WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_MBUTTONUP, NIN_BALLOONUSERCLICK}));
}

TEST_F(TrayShellTest, TheHostHearsNothingBeforeTheAddNorAfterTheRemoval)
{
    TrayShell shell(false);
    emit shell.Icon().activated(QSystemTrayIcon::Trigger);
    Add(shell);
    shell.NotifyIcon(NIM_DELETE, NotifyIconData{});
    emit shell.Icon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(Received(), Codes{});
}

// An XEmbed tray reports clicks while the button is down. The press of the
// tray's window is played here on a shown window of the test.
class PressReportingTrayTest : public TrayShellTest {
protected:
    PressReportingTrayTest()
    {
        trayWindow_.resize(24, 24);
        trayWindow_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&trayWindow_));
        Add(shell_);
    }

    void Press(Qt::MouseButton button, QSystemTrayIcon::ActivationReason reason)
    {
        QTest::mousePress(&trayWindow_, button, Qt::NoModifier, QPoint(5, 5));
        emit shell_.Icon().activated(reason);
    }

    void Release(Qt::MouseButton button) { QTest::mouseRelease(&trayWindow_, button, Qt::NoModifier, QPoint(5, 5)); }

    QWidget trayWindow_;
    TrayShell shell_{false};
};

TEST_F(PressReportingTrayTest, AClickReachesTheHostAtTheButtonsRelease)
{
    Press(Qt::RightButton, QSystemTrayIcon::Context);
    EXPECT_EQ(Received(), Codes{}) << "the menu must not open on the press";
    Release(Qt::RightButton);
    EXPECT_EQ(Received(), Codes{WM_RBUTTONUP});
}

TEST(TrayShellDesktopTest, TheIconAppearsWithItsFirstPictureAndGoesWithTheRemoval)
{
    TrayShell shell(true);
    NotifyIconData record;
    record.uFlags = NIF_MESSAGE;
    shell.NotifyIcon(NIM_ADD, record);
    EXPECT_FALSE(shell.Icon().isVisible()) << "a desktop icon without a picture";
    QPixmap picture(32, 32);
    picture.fill(Qt::blue);
    record.hIcon = QIcon(picture);
    record.uFlags = NIF_ICON;
    shell.NotifyIcon(NIM_MODIFY, record);
    EXPECT_TRUE(shell.Icon().isVisible());
    shell.NotifyIcon(NIM_DELETE, record);
    EXPECT_FALSE(shell.Icon().isVisible());
}

TEST(TrayShellDesktopTest, HeadlessNothingGoesOnTheDesktopButTheFieldsApply)
{
    TrayShell shell(false);
    NotifyIconData record;
    QPixmap picture(32, 32);
    picture.fill(Qt::blue);
    record.hIcon = QIcon(picture);
    SetField(record.szTip, "tip");
    record.uFlags = NIF_ICON | NIF_TIP;
    shell.NotifyIcon(NIM_MODIFY, record);
    EXPECT_EQ(shell.Icon().toolTip(), "") << "a change before the add is refused";
    shell.NotifyIcon(NIM_ADD, record);
    EXPECT_FALSE(shell.Icon().isVisible());
    EXPECT_EQ(shell.Icon().toolTip(), "tip");
    EXPECT_EQ(shell.Icon().icon().cacheKey(), record.hIcon.cacheKey());
}

}  // namespace
