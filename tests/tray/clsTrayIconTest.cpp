// The tray icon object: the calls it makes to the notification area, the
// limit of its tooltip, and its events. Balloons and icons drawn from a
// picture are not tried: the monitor uses neither.
#include "platform/EventPump.h"
#include "tray/clsTrayIcon.h"
#include "tray/TrayShell.h"

#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A host window that passes every mouse message on to its tray icon, as
// the tray window does.
class ForwardingHost : public QWidget {
public:
    ForwardingHost() { setMouseTracking(true); }
    clsTrayIcon* tray = nullptr;

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        int16_t button = static_cast<int16_t>(event->buttons().toInt());
        if (tray)
            tray->MouseMove(button, static_cast<int32_t>(event->position().x()), this);
    }
};

// The calls to the notification area: command and record.
using Calls = std::vector<std::pair<uint32_t, NotifyIconData>>;

// A notification area on the desktop that also logs its calls into a log
// that outlives it.
class RecordingShell : public TrayShell {
public:
    explicit RecordingShell(Calls& log) : TrayShell(true), log_(log) {}
    void NotifyIcon(uint32_t command, const NotifyIconData& record) override
    {
        log_.emplace_back(command, record);
        TrayShell::NotifyIcon(command, record);
    }

private:
    Calls& log_;
};

TEST(clsTrayIconTest, InitShowsTheIconWithTheHostsPictureAndTheTooltipAndTheEndOfTheObjectRemovesIt)
{
    QWidget host;
    QPixmap picture(32, 32);
    picture.fill(Qt::red);
    host.setWindowIcon(QIcon(picture));
    Calls calls;
    auto tray = std::make_unique<clsTrayIcon>(std::make_unique<RecordingShell>(calls));
    tray->Init(&host, "Kelvaran Q62M Status Monitor");
    const QSystemTrayIcon& shown = tray->Shell().Icon();
    EXPECT_TRUE(shown.isVisible());
    EXPECT_EQ(shown.icon().cacheKey(), host.windowIcon().cacheKey());
    EXPECT_EQ(shown.toolTip(), "Kelvaran Q62M Status Monitor");
    EXPECT_EQ(tray->TooltipText(), "Kelvaran Q62M Status Monitor");
    tray->SetTooltipText(std::string(300, 't'));
    EXPECT_EQ(shown.toolTip().toStdString(), std::string(128, 't')) << "cut at the end of its field";
    EXPECT_EQ(tray->TooltipText(), std::string(300, 't'));
    tray.reset();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().first, NIM_DELETE);
}

// The events, by name, in the order they are raised.
class EventLog {
public:
    explicit EventLog(clsTrayIcon& tray)
    {
        const std::pair<void (clsTrayIcon::*)(), const char*> events[] = {
            {&clsTrayIcon::LeftClick, "LeftClick"},         {&clsTrayIcon::RightClick, "RightClick"},
            {&clsTrayIcon::DoubleClick, "DoubleClick"},     {&clsTrayIcon::BalloonHide, "BalloonHide"},
            {&clsTrayIcon::BalloonTimeOut, "BalloonTimeOut"}, {&clsTrayIcon::BalloonClicked, "BalloonClicked"}};
        for (const auto& [event, name] : events)
            QObject::connect(&tray, event, [this, name = std::string(name)] { names.push_back(name); });
    }
    std::vector<std::string> names;
};

// From the desktop's reports through the host window's messages to the
// events: each report raises its event, nothing before the add nor after
// the removal. A Trigger while no button is down here is a
// StatusNotifierItem host's Activate, its only click: a double-click.
TEST(clsTrayIconChainTest, EachReportOfTheDesktopRaisesItsEventOnlyWhileTheIconIsThere)
{
    ForwardingHost host;
    auto tray = std::make_unique<clsTrayIcon>(std::make_unique<TrayShell>(false));
    host.tray = tray.get();
    EventLog log(*tray);
    QSystemTrayIcon& icon = tray->Shell().Icon();
    emit icon.activated(QSystemTrayIcon::Trigger);
    tray->Init(&host, "tip");
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit icon.activated(reason);
    emit icon.messageClicked();
    DoEvents();
    EXPECT_EQ(log.names, (std::vector<std::string>{"DoubleClick", "DoubleClick", "RightClick", "BalloonClicked"}));
    log.names.clear();
    tray->Shell().NotifyIcon(NIM_DELETE, NotifyIconData{});
    emit icon.activated(QSystemTrayIcon::Context);
    DoEvents();
    EXPECT_TRUE(log.names.empty());
}

// An XEmbed tray reports a click while the button is down; the host hears
// of it at the release all the same, so the menu opens on release. The
// press of the tray's window is played on a shown window of the test.
TEST(clsTrayIconChainTest, APressReportingTrayReportsEachClickAtItsRelease)
{
    QWidget trayWindow;
    trayWindow.resize(24, 24);
    trayWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trayWindow));
    ForwardingHost host;
    clsTrayIcon tray(std::make_unique<TrayShell>(false));
    host.tray = &tray;
    tray.Init(&host, "tip");
    EventLog log(tray);
    QSystemTrayIcon& icon = tray.Shell().Icon();
    auto click = [&](Qt::MouseButton button, QSystemTrayIcon::ActivationReason reason) {
        QTest::mousePress(&trayWindow, button, Qt::NoModifier, QPoint(5, 5));
        emit icon.activated(reason);
        DoEvents();
        log.names.push_back("|");
        QTest::mouseRelease(&trayWindow, button, Qt::NoModifier, QPoint(5, 5));
        DoEvents();
    };
    click(Qt::RightButton, QSystemTrayIcon::Context);
    click(Qt::LeftButton, QSystemTrayIcon::Trigger);
    click(Qt::LeftButton, QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(log.names, (std::vector<std::string>{"|", "RightClick", "|", "LeftClick", "DoubleClick", "|", "LeftClick"}))
        << "| marks each press's end";
}

}  // namespace
