// The tray icon object: the calls it makes to the notification area, the
// limits of its text fields, its events, and the pictures it draws.
#include "TrayHosts.h"
#include "core/RuntimeError.h"
#include "platform/EventPump.h"
#include "platform/Units.h"
#include "tray/clsTrayIcon.h"

#include <QImage>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QIcon Filled(const QColor& color)
{
    QPixmap picture(32, 32);
    picture.fill(color);
    return QIcon(picture);
}

class clsTrayIconTest : public ::testing::Test {
protected:
    clsTrayIconTest() : tray_(std::make_unique<RecordingShell>(calls_))
    {
        host_.setWindowIcon(Filled(Qt::red));
    }

    QSystemTrayIcon& Shown() { return tray_.Shell().Icon(); }

    std::vector<ShellCall> calls_;
    QWidget host_;
    clsTrayIcon tray_;
};

TEST_F(clsTrayIconTest, InitShowsTheIconWithTheHostsPictureAndTheTooltip)
{
    tray_.Init(&host_, "Kelvaran Q62M Status Monitor");
    EXPECT_EQ(calls_.front().command, NIM_ADD);
    EXPECT_TRUE(Shown().isVisible());
    EXPECT_EQ(Shown().icon().cacheKey(), host_.windowIcon().cacheKey());
    EXPECT_EQ(Shown().toolTip(), "Kelvaran Q62M Status Monitor");
    EXPECT_EQ(tray_.TooltipText(), "Kelvaran Q62M Status Monitor");
}

TEST_F(clsTrayIconTest, ATooltipIsCutAtTheEndOfItsField)
{
    tray_.Init(&host_, "");
    for (size_t length : {127u, 128u, 129u, 300u}) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        tray_.SetTooltipText(text);
        EXPECT_EQ(tray_.TooltipText(), text) << "the object keeps the whole text";
        EXPECT_EQ(Shown().toolTip().toStdString(), text.substr(0, 128)) << length;
    }
    tray_.SetTooltipText("short");
    EXPECT_EQ(Shown().toolTip(), "short") << "nothing of a longer earlier text is left";
}

// The monitor shows no balloon; one case keeps the fields honest.
TEST_F(clsTrayIconTest, ABalloonFillsItsFieldsCutToTheirLengthAndLeavesTheTooltip)
{
    tray_.Init(&host_, "tip");
    tray_.ShowBalloonTip("Paper low");
    EXPECT_EQ(calls_.back().record.uFlags, NIF_INFO);
    EXPECT_EQ(FieldText(calls_.back().record.szInfoTitle), "");
    EXPECT_EQ(calls_.back().record.uTimeout, 30000u);
    tray_.ShowBalloonTip(std::string(300, 'm'), 2, std::string(100, 't'), 1500.5);
    const NotifyIconData& record = calls_.back().record;
    EXPECT_EQ(FieldText(record.szInfo), std::string(256, 'm'));
    EXPECT_EQ(FieldText(record.szInfoTitle), std::string(64, 't'));
    EXPECT_EQ(record.dwInfoFlags, 2u);
    EXPECT_EQ(record.uTimeout, 1500u) << "a half goes to the even neighbour";
    EXPECT_EQ(FieldText(record.szTip), "tip");
    EXPECT_THROW(tray_.ShowBalloonTip("m", 0, "", 3e9), RuntimeError);
}

TEST_F(clsTrayIconTest, TheEndOfTheObjectRemovesTheIcon)
{
    std::vector<ShellCall> calls;
    {
        clsTrayIcon tray(std::make_unique<RecordingShell>(calls));
        tray.Init(&host_, "tip");
    }
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().command, NIM_DELETE);
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

TEST_F(clsTrayIconTest, EachNotificationCodeRaisesItsEventAndNoOtherCodeRaisesAny)
{
    EventLog log(tray_);
    int16_t button = 0;
    for (int32_t code : {0x202, 0x205, 0x203, 0x403, 0x404, 0x405})
        tray_.MouseMove(button, code, &host_);
    EXPECT_EQ(log.names, (std::vector<std::string>{"LeftClick", "RightClick", "DoubleClick", "BalloonHide",
                                                   "BalloonTimeOut", "BalloonClicked"}));
    log.names.clear();
    // Mouse movement, button presses, a right double-click, a balloon shown.
    for (int32_t code : {0x200, 0x201, 0x204, 0x206, 0x208, 0x402, 0, -1, 0x10000})
        tray_.MouseMove(button, code, &host_);
    EXPECT_TRUE(log.names.empty());
}

TEST(clsTrayIconChainTest, ADoubleClickOnAPressReportingTrayRaisesLeftClickDoubleClickLeftClick)
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

    QTest::mousePress(&trayWindow, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    emit icon.activated(QSystemTrayIcon::Trigger);
    QTest::mouseRelease(&trayWindow, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mousePress(&trayWindow, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    emit icon.activated(QSystemTrayIcon::DoubleClick);
    QTest::mouseRelease(&trayWindow, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    DoEvents();
    EXPECT_EQ(log.names, (std::vector<std::string>{"LeftClick", "DoubleClick", "LeftClick"}));
}

// A 40 x 40 picture: a magenta ground with a blue square and a white bar
// across the 32-pixel edge.
QImage DrawnPicture()
{
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 255));
    QPainter painter(&picture);
    painter.fillRect(4, 4, 10, 10, QColor(0, 0, 255));
    painter.fillRect(20, 28, 20, 8, Qt::white);
    painter.end();
    return picture;
}

QImage ShownImage(const QIcon& icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    return sizes.isEmpty() ? QImage() : icon.pixmap(sizes.front()).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The monitor draws no icon of its own; one case keeps the transparent
// colour and the 32-pixel crop honest.
TEST_F(clsTrayIconTest, DrawIconWithATransparentColourClearsExactlyThatColourInTheTopLeft32Pixels)
{
    tray_.Init(&host_, "tip");
    const QImage picture = DrawnPicture();
    tray_.DrawIcon(picture, static_cast<int32_t>(WinRGB(255, 0, 255)));
    const QImage shown = ShownImage(Shown().icon());
    ASSERT_EQ(shown.size(), QSize(32, 32));
    int transparent = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb drawn = picture.pixel(x, y);
            const QRgb icon = shown.pixel(x, y);
            if (drawn == QColor(255, 0, 255).rgb()) {
                EXPECT_EQ(qAlpha(icon), 0) << x << "," << y;
                ++transparent;
            } else {
                EXPECT_EQ(icon, drawn) << x << "," << y;
            }
        }
    EXPECT_EQ(transparent, 32 * 32 - 100 - 12 * 4) << "the blue square and the bar's corner stay";
}

}  // namespace
