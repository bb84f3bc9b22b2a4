// The real executable on an X display (Xvfb) with a notification area
// (trayer): its icon in the tray, the hidden main window, a double-click
// and the menu driven with xdotool. Screenshots of each step are kept in
// the artefact directory.
#include "support/FakeZorvadevControl.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kTitle = "Kelvaran Status Monitor Q62m";
const std::string kClass = "StatusMonitorQ62m";

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// An X server of its own on a free display, with a tray host on demand.
// Both end with the object.
class VirtualDesktop {
public:
    VirtualDesktop()
    {
        // -displayfd picks a free display and writes its number.
        server_.setProgram("Xvfb");
        server_.setArguments({"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        server_.start();
        if (!server_.waitForStarted(5000))
            return;
        std::string number;
        const auto deadline = Steady::now() + std::chrono::seconds(10);
        while (number.find('\n') == std::string::npos && Steady::now() < deadline) {
            server_.waitForReadyRead(200);
            number += server_.readAllStandardOutput().toStdString();
        }
        if (number.find('\n') != std::string::npos)
            display_ = ":" + number.substr(0, number.find('\n'));
    }

    ~VirtualDesktop()
    {
        for (QProcess* process : {&trayHost_, &server_}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(3000)) {
                    process->kill();
                    process->waitForFinished(3000);
                }
            }
        }
    }

    bool Up() const { return !display_.empty(); }
    const std::string& Display() const { return display_; }

    // Starts trayer along the bottom edge and waits until it owns the
    // notification area.
    bool StartTrayHost()
    {
        trayHost_.setProcessEnvironment(Environment());
        trayHost_.setProgram("trayer");
        trayHost_.setArguments({"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
                                "--SetDockType", "true", "--expand", "true"});
        trayHost_.start();
        return trayHost_.waitForStarted(5000) && WaitFor([this] { return !Run("xdotool", {"search", "--class", "trayer"}).empty(); });
    }

    // Runs an X client on this display; its standard output.
    std::string Run(const QString& program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(Environment());
        process.start(program, arguments);
        process.waitForFinished(10000);
        return process.readAllStandardOutput().toStdString();
    }

    // The visible windows of the monitor.
    std::vector<std::string> VisibleWindows(const std::vector<std::string>& extra = {}) const
    {
        QStringList arguments{"search", "--onlyvisible"};
        for (const std::string& word : extra)
            arguments << QString::fromStdString(word);
        std::vector<std::string> ids;
        for (const QString& line : QString::fromStdString(Run("xdotool", arguments)).split('\n', Qt::SkipEmptyParts))
            ids.push_back(line.toStdString());
        return ids;
    }

    std::optional<Geometry> WindowGeometry(const std::string& id) const
    {
        const std::string text = Run("xdotool", {"getwindowgeometry", "--shell", QString::fromStdString(id)});
        Geometry g;
        int found = 0;
        for (const QString& line : QString::fromStdString(text).split('\n')) {
            const QStringList pair = line.split('=');
            if (pair.size() != 2)
                continue;
            const int value = pair[1].toInt();
            if (pair[0] == "X")
                g.x = value, ++found;
            else if (pair[0] == "Y")
                g.y = value, ++found;
            else if (pair[0] == "WIDTH")
                g.width = value, ++found;
            else if (pair[0] == "HEIGHT")
                g.height = value, ++found;
        }
        return found == 4 ? std::optional<Geometry>(g) : std::nullopt;
    }

    // A picture of the whole screen, kept for a person to look at.
    void Screenshot(const std::string& name) const
    {
        Run("import", {"-window", "root", QString::fromStdString(std::string(Q62M_ARTIFACT_DIR) + "/" + name)});
    }

    template <typename Condition>
    static bool WaitFor(Condition condition, int timeoutMs = 10000)
    {
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Steady::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

private:
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(display_));
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    QProcess server_;
    QProcess trayHost_;
    std::string display_;
};

class TrayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool", "import"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
        desktop_ = std::make_unique<VirtualDesktop>();
        ASSERT_TRUE(desktop_->Up()) << "Xvfb did not start";
    }

    // Starts the monitor on the display with `printers` USB printers that
    // answer all well, each served on its own port.
    void StartMonitor(int printers)
    {
        control_ = std::make_unique<FakeZorvadevControl>(dir_);
        FakeZorvadevControl::Install(dir_.Path());
        control_->SetBytes(std::string("\x00\x00\x00\xF0", 4));
        std::string ini = "[General]\nPrinters=" + std::to_string(printers) + "\nUpdateInterval=1\n";
        for (int i = 1; i <= printers; ++i) {
            ports_.push_back(FreeLoopbackPort());
            ini += "[Printer" + std::to_string(i) + "]\nPort=-1\nStatusServerSocket=" + std::to_string(ports_.back())
                 + "\n";
        }
        dir_.Write("StatusMonitorQ62m.ini", ini);
        run_ = std::make_unique<ProgramRun>(dir_);
        control_->ApplyTo(*run_);
        run_->UseDisplay(desktop_->Display());
        run_->Start();
    }

    // The monitor's window in the tray: small, at the bottom of the screen.
    std::optional<std::string> TrayIconWindow()
    {
        for (const std::string& id : desktop_->VisibleWindows({"--classname", kClass})) {
            const auto g = desktop_->WindowGeometry(id);
            if (g && g->width <= 48 && g->height <= 48 && g->y >= 480 - 48)
                return id;
        }
        return std::nullopt;
    }

    bool MainWindowVisible() { return !desktop_->VisibleWindows({"--name", kTitle}).empty(); }

    void Click(const std::string& window, int x, int y, const std::string& button, int repeat = 1)
    {
        desktop_->Run("xdotool", {"mousemove", "--window", QString::fromStdString(window), QString::number(x),
                                  QString::number(y), "click", "--repeat", QString::number(repeat), "--delay", "80",
                                  QString::fromStdString(button)});
    }

    TempDir dir_;
    std::unique_ptr<VirtualDesktop> desktop_;
    std::unique_ptr<FakeZorvadevControl> control_;
    std::unique_ptr<ProgramRun> run_;
    std::vector<int32_t> ports_;
};

TEST_F(TrayDesktopTest, TheIconShowsInTheTrayWithTheWindowHiddenAndADoubleClickShowsTheWindow)
{
    ASSERT_TRUE(desktop_->StartTrayHost());
    StartMonitor(1);
    std::optional<std::string> icon;
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return (icon = TrayIconWindow()).has_value(); }))
        << "no icon in the tray";
    // The first pass has shown its picture.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(MainWindowVisible()) << "the main window is in view at start";
    desktop_->Screenshot("tray-at-start.png");

    Click(*icon, 8, 8, "1", 2);
    EXPECT_TRUE(VirtualDesktop::WaitFor([&] { return MainWindowVisible(); }, 5000))
        << "the double-click did not show the main window";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    desktop_->Screenshot("tray-after-double-click.png");
    EXPECT_TRUE(run_->Running());
}

TEST_F(TrayDesktopTest, ExitInTheTrayMenuClosesBothServersRemovesTheIconAndEndsTheProgram)
{
    ASSERT_TRUE(desktop_->StartTrayHost());
    StartMonitor(2);
    std::optional<std::string> icon;
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return (icon = TrayIconWindow()).has_value(); }));
    // Two clients, each in its server's hands once it has been answered.
    StatusClient client1(ports_[0]);
    StatusClient client2(ports_[1]);
    ASSERT_TRUE(client1.Connected() && client2.Connected());
    client1.Send(std::string("\x1D\x61\x01", 3));
    client2.Send(std::string("\x1D\x61\x01", 3));
    ASSERT_EQ(client1.Receive(4, 5000).size(), 4u);
    ASSERT_EQ(client2.Receive(4, 5000).size(), 4u);

    // The menu opens on the right button's release: a new window above the
    // icon, Exit its last item.
    const std::vector<std::string> before = desktop_->VisibleWindows({"--classname", kClass});
    Click(*icon, 8, 8, "3");
    std::string menu;
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] {
        for (const std::string& id : desktop_->VisibleWindows({"--classname", kClass}))
            if (std::find(before.begin(), before.end(), id) == before.end())
                menu = id;
        return !menu.empty();
    }, 5000)) << "no menu opened";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    desktop_->Screenshot("tray-menu.png");
    const auto g = desktop_->WindowGeometry(menu);
    ASSERT_TRUE(g.has_value());
    Click(menu, g->width / 2, g->height - 12, "1");

    ASSERT_TRUE(run_->WaitForExit(10000)) << "Exit did not end the program";
    EXPECT_EQ(run_->ExitCode(), 0) << run_->StandardError();
    EXPECT_TRUE(client1.ClosedWithin(1000));
    EXPECT_TRUE(client2.ClosedWithin(1000));
    EXPECT_FALSE(TrayIconWindow().has_value()) << "the icon stayed in the tray";
    desktop_->Screenshot("tray-after-exit.png");
}

TEST_F(TrayDesktopTest, WithoutANotificationAreaTheMainWindowIsShownAtStart)
{
    StartMonitor(1);
    EXPECT_TRUE(VirtualDesktop::WaitFor([&] { return MainWindowVisible(); }))
        << "nothing would bring a hidden window back";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    desktop_->Screenshot("no-tray-at-start.png");
    run_->Terminate();
    ASSERT_TRUE(run_->WaitForExit(10000));
    EXPECT_EQ(run_->ExitCode(), 0);
}

}  // namespace

namespace {

TEST_F(TrayDesktopTest, AFaultInTheUsbLibrarysAnswerBringsTheHiddenWindowUpWithItsRows)
{
    ASSERT_TRUE(desktop_->StartTrayHost());
    StartMonitor(1);
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return TrayIconWindow().has_value(); })) << "no icon in the tray";
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return control_->StatusReads() >= 2; })) << "the printer is not polled";
    EXPECT_FALSE(MainWindowVisible()) << "an all-well printer brought the window up";

    control_->SetBytes(std::string("\x04\x00\x12\xF0", 4));
    ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return MainWindowVisible(); }, 5000))
        << "the fault did not bring the window up";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string picture = "usb-fault-window.png";
    desktop_->Screenshot(picture);

    // The Paper row of the only column reads Empty on red, the others Ok on green.
    const std::vector<std::string> windows = desktop_->VisibleWindows({"--name", kTitle});
    ASSERT_FALSE(windows.empty());
    const auto g = desktop_->WindowGeometry(windows.front());
    ASSERT_TRUE(g.has_value());
    const QImage screen(QString::fromStdString(std::string(Q62M_ARTIFACT_DIR) + "/" + picture));
    ASSERT_FALSE(screen.isNull());
    EXPECT_EQ(screen.pixelColor(g->x + 20, g->y + 760 / 15), QColor(255, 0, 0)) << "Paper row";
    EXPECT_EQ(screen.pixelColor(g->x + 20, g->y + 1480 / 15), QColor(0, 128, 0)) << "Print Head row";
    EXPECT_EQ(screen.pixelColor(g->x + 20, g->y + 2920 / 15), QColor(0, 128, 0)) << "Presenter row";
}

}  // namespace
