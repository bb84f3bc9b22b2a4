// The real executable on an X display (Xvfb) with a notification area
// (trayer): its icon in the tray, the hidden main window, a double-click,
// the menu and a fault, driven with xdotool. Screenshots are kept in the
// artefact directory. That a fault brings a hidden or minimised window
// into view is the monitor loop's test.
#include "printer/CommandExchange.h"
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/LoadedForm.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace {

const QString kTitle = "Kelvaran Status Monitor Q62m";
const QString kClass = "StatusMonitorQ62m";

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// An X server of its own on a free display, with a tray host on demand;
// both end with the object, and with the test program.
class VirtualDesktop {
public:
    VirtualDesktop()
    {
        // -displayfd picks a free display and writes its number.
        server_.setChildProcessModifier(DieWithParent);
        server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        PumpUntil([this] {
            server_.waitForReadyRead(100);
            number_ += server_.readAllStandardOutput().toStdString();
            return number_.find('\n') != std::string::npos;
        }, 10000);
        number_ = number_.substr(0, number_.find('\n'));
    }

    ~VirtualDesktop()
    {
        for (QProcess* process : {&trayHost_, &server_}) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    bool Up() const { return !number_.empty(); }
    std::string Display() const { return ":" + number_; }

    // Starts trayer along the bottom edge; true once it owns the tray.
    bool StartTrayHost()
    {
        trayHost_.setChildProcessModifier(DieWithParent);
        trayHost_.setProcessEnvironment(Environment());
        trayHost_.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
                                   "--SetDockType", "true", "--expand", "true"});
        return PumpUntil([this] { return !Run("xdotool", {"search", "--class", "trayer"}).isEmpty(); }, 10000);
    }

    // Runs an X client on this display; its standard output.
    QString Run(const QString& program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(Environment());
        process.start(program, arguments);
        process.waitForFinished(10000);
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    QStringList VisibleWindows(const QStringList& search) const
    {
        return Run("xdotool", QStringList{"search", "--onlyvisible"} + search).split('\n', Qt::SkipEmptyParts);
    }

    std::optional<Geometry> WindowGeometry(const QString& id) const
    {
        Geometry g;
        int found = 0;
        for (const QString& line : Run("xdotool", {"getwindowgeometry", "--shell", id}).split('\n')) {
            const QStringList pair = line.split('=');
            int* field = pair.size() != 2 ? nullptr
                       : pair[0] == "X" ? &g.x
                       : pair[0] == "Y" ? &g.y
                       : pair[0] == "WIDTH" ? &g.width
                       : pair[0] == "HEIGHT" ? &g.height
                                            : nullptr;
            if (field) {
                *field = pair[1].toInt();
                ++found;
            }
        }
        return found == 4 ? std::optional<Geometry>(g) : std::nullopt;
    }

    // A picture of the whole screen, kept for a person to look at.
    QImage Screenshot(const std::string& name) const
    {
        const QString path = QString::fromStdString(std::string(Q62M_ARTIFACT_DIR) + "/" + name);
        Run("import", {"-window", "root", path});
        return QImage(path);
    }

private:
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(Display()));
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    QProcess server_;
    QProcess trayHost_;
    std::string number_;
};

class TrayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool", "import"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
        ASSERT_TRUE(desktop_.Up()) << "Xvfb did not start";
    }

    // Starts the monitor on the display with a USB printer that answers
    // all well, served on port_.
    void StartMonitor()
    {
        run_.UseDisplay(desktop_.Display());
        StartServedUsbPrinters(run_, dir_, control_, {port_}, std::string("\x00\x00\x00\xF0", 4), "UpdateInterval=1");
    }

    // The monitor's window in the tray: small, at the bottom of the screen.
    std::optional<QString> TrayIcon()
    {
        for (const QString& id : desktop_.VisibleWindows({"--classname", kClass})) {
            const auto g = desktop_.WindowGeometry(id);
            if (g && g->width <= 48 && g->height <= 48 && g->y >= 480 - 48)
                return id;
        }
        return std::nullopt;
    }

    QString AwaitTrayIcon()
    {
        std::optional<QString> icon;
        EXPECT_TRUE(PumpUntil([&] { return (icon = TrayIcon()).has_value(); }, 10000)) << "no icon in the tray";
        return icon.value_or("");
    }

    bool MainWindowVisible() { return !desktop_.VisibleWindows({"--name", kTitle}).isEmpty(); }

    void Click(const QString& window, int x, int y, const QString& button, int repeat = 1)
    {
        desktop_.Run("xdotool", {"mousemove", "--window", window, QString::number(x), QString::number(y), "click",
                                 "--repeat", QString::number(repeat), "--delay", "80", button});
    }

    VirtualDesktop desktop_;
    TempDir dir_;
    FakeZorvadevControl control_{dir_};
    ProgramRun run_{dir_};
    const int32_t port_ = FreeLoopbackPort();
};

// The icon's whole life in a real tray: the window stays hidden while the
// printer is well, a double-click shows it, a fault paints its rows, and
// Exit in the menu that opens at the right button's release ends the
// program, closing the status client's connection and removing the icon.
TEST_F(TrayDesktopTest, TheIconShowsTheWindowOnADoubleClickAndItsMenusExitEndsTheProgram)
{
    ASSERT_TRUE(desktop_.StartTrayHost());
    StartMonitor();
    const QString icon = AwaitTrayIcon();
    ASSERT_TRUE(PumpUntil([&] { return control_.StatusReads() >= 2; }, 10000)) << "the printer is not polled";
    EXPECT_FALSE(MainWindowVisible()) << "an all-well printer brought the window up";
    desktop_.Screenshot("tray-at-start.png");

    Click(icon, 8, 8, "1", 2);
    ASSERT_TRUE(PumpUntil([&] { return MainWindowVisible(); }, 5000)) << "the double-click did not show the window";
    control_.SetBytes(std::string("\x04\x00\x12\xF0", 4));
    const QStringList windows = desktop_.VisibleWindows({"--name", kTitle});
    ASSERT_FALSE(windows.isEmpty());
    const auto g = desktop_.WindowGeometry(windows.front());
    ASSERT_TRUE(g.has_value());
    // The Paper row of the only column reads Empty on red, the others Ok on green.
    QImage screen;
    EXPECT_TRUE(PumpUntil([&] {
        screen = desktop_.Screenshot("usb-fault-window.png");
        return !screen.isNull() && screen.pixelColor(g->x + 20, g->y + 760 / 15) == QColor(255, 0, 0);
    }, 5000)) << "Paper row";
    EXPECT_EQ(screen.pixelColor(g->x + 20, g->y + 1480 / 15), QColor(0, 128, 0)) << "Print Head row";
    EXPECT_EQ(screen.pixelColor(g->x + 20, g->y + 2920 / 15), QColor(0, 128, 0)) << "Presenter row";

    StatusClient client(port_);
    client.Send(kStatusCommand);
    ASSERT_EQ(client.Receive(4, 5000).size(), 4u) << "the client is in the server's hands";
    const QStringList before = desktop_.VisibleWindows({"--classname", kClass});
    Click(icon, 8, 8, "3");
    QString menu;
    ASSERT_TRUE(PumpUntil([&] {
        for (const QString& id : desktop_.VisibleWindows({"--classname", kClass}))
            if (!before.contains(id))
                menu = id;
        return !menu.isEmpty();
    }, 5000)) << "no menu opened";
    desktop_.Screenshot("tray-menu.png");
    const auto m = desktop_.WindowGeometry(menu);
    ASSERT_TRUE(m.has_value());
    Click(menu, m->width / 2, m->height - 12, "1");
    ASSERT_TRUE(run_.WaitForExit(10000)) << "Exit did not end the program";
    EXPECT_EQ(run_.ExitCode(), 0) << run_.StandardError();
    EXPECT_TRUE(client.ClosedWithin(1000));
    EXPECT_FALSE(TrayIcon().has_value()) << "the icon stayed in the tray";
}

TEST_F(TrayDesktopTest, WithoutANotificationAreaTheMainWindowIsShownAtStart)
{
    StartMonitor();
    EXPECT_TRUE(PumpUntil([&] { return MainWindowVisible(); }, 10000)) << "nothing would bring a hidden window back";
    desktop_.Screenshot("no-tray-at-start.png");
}

}  // namespace
