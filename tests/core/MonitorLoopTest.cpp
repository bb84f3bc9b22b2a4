// The monitor loop's passes, alarm and wait, on an injected clock.
#include "core/MonitorLoop.h"
#include "core/frmMain.h"
#include "platform/Beep.h"
#include "platform/EventPump.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <QMetaObject>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

class MonitorLoopTest : public ::testing::Test {
protected:
    MonitorLoopTest()
    {
        SetBeepHook([this] { ++beeps_; });
    }
    ~MonitorLoopTest() override { SetBeepHook({}); }

    void LoadPrinters(int count, int interval)
    {
        std::string ini = "[General]\nPrinters=" + std::to_string(count) + "\nUpdateInterval="
                        + std::to_string(interval) + "\n";
        for (int i = 1; i <= count; ++i)
            ini += "[Printer" + std::to_string(i) + "]\nPort=-1\n";
        dir_.Write("q.ini", ini);
        form_ = std::make_unique<frmMain>(dir_.File("q.ini"));
        ASSERT_TRUE(form_->Form_Load());
        form_->TrayPictureSink = [this](TrayPicture picture) { pictures_.push_back(picture); };
    }

    // Runs the loop over scripted passes: faults[pass][printer]. The loop is
    // asked to quit while the last printer of the last pass is polled.
    void RunPasses(const std::vector<std::vector<bool>>& faults)
    {
        size_t pass = 0;
        MonitorLoop loop(*form_, [&](frmMain& form, int16_t index) {
            polls_.push_back({pass, index, clock_.Now()});
            const bool fault = faults.at(pass).at(static_cast<size_t>(index));
            if (index == form.PrinterCount - 1) {
                if (pass + 1 == faults.size())
                    form.QuitRequested = true;
                ++pass;
            }
            return fault;
        });
        loop.Run();
    }

    struct Poll {
        size_t pass;
        int16_t index;
        double time;
    };

    FakeClock clock_;
    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    int beeps_ = 0;
    std::vector<TrayPicture> pictures_;
    std::vector<Poll> polls_;
};

TEST_F(MonitorLoopTest, AFaultOverThreePassesBeepsOnceAndKeepsTheFaultPicture)
{
    LoadPrinters(1, 3);
    RunPasses({{true}, {true}, {true}});
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(pictures_, (std::vector<TrayPicture>{TrayPicture::Fault, TrayPicture::Fault, TrayPicture::Fault}));
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(MonitorLoopTest, AFaultAfterAFaultFreePassRaisesTheAlarmAgain)
{
    LoadPrinters(1, 3);
    // Whether the window is in view after each pass; the user hides it
    // again during every wait.
    std::vector<bool> visibleAfterPass;
    bool passJustEnded = false;
    clock_.OnSleep = [&] {
        if (passJustEnded)
            visibleAfterPass.push_back(form_->isVisible());
        passJustEnded = false;
        form_->hide();
    };
    size_t pass = 0;
    const std::vector<bool> faults = {true, false, true};
    MonitorLoop loop(*form_, [&](frmMain& form, int16_t) {
        passJustEnded = true;
        if (pass + 1 == faults.size())
            form.QuitRequested = true;
        return faults[pass++];
    });
    loop.Run();
    visibleAfterPass.push_back(form_->isVisible());
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(pictures_, (std::vector<TrayPicture>{TrayPicture::Fault, TrayPicture::Normal, TrayPicture::Fault}));
    EXPECT_EQ(visibleAfterPass, (std::vector<bool>{true, false, true}));
}

TEST_F(MonitorLoopTest, AWindowHiddenWhileAlarmedStaysHidden)
{
    LoadPrinters(1, 2);
    clock_.OnSleep = [this] { form_->hide(); };
    RunPasses({{true}, {true}, {true}});
    EXPECT_EQ(beeps_, 1);
    EXPECT_FALSE(form_->isVisible());
}

TEST_F(MonitorLoopTest, AVisibleWindowStaysAsItIsWhenAFaultBegins)
{
    LoadPrinters(1, 2);
    form_->show();
    RunPasses({{false}, {true}});
    EXPECT_EQ(beeps_, 1);
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(MonitorLoopTest, AMinimisedWindowIsRestoredWhenAFaultBegins)
{
    LoadPrinters(1, 2);
    form_->showMinimized();
    RunPasses({{false}, {true}});
    EXPECT_EQ(beeps_, 1);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_FALSE(form_->isMinimized());
}

TEST_F(MonitorLoopTest, AFaultFreeRunNeverBeepsNorShowsTheWindow)
{
    LoadPrinters(2, 2);
    RunPasses({{false, false}, {false, false}});
    EXPECT_EQ(beeps_, 0);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(pictures_, (std::vector<TrayPicture>{TrayPicture::Normal, TrayPicture::Normal}));
}

TEST_F(MonitorLoopTest, EveryPrinterIsPolledInEveryPassWhateverFaulted)
{
    LoadPrinters(3, 2);
    RunPasses({{true, false, false}, {false, false, true}, {true, true, true}});
    ASSERT_EQ(polls_.size(), 9u);
    for (size_t i = 0; i < polls_.size(); ++i) {
        EXPECT_EQ(polls_[i].index, static_cast<int16_t>(i % 3));
        EXPECT_EQ(polls_[i].pass, i / 3);
    }
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(pictures_, (std::vector<TrayPicture>{TrayPicture::Fault, TrayPicture::Fault, TrayPicture::Fault}));
}

TEST_F(MonitorLoopTest, PassesStartOneIntervalPlusAtMostOneSliceApart)
{
    for (int interval : {1, 3, 60}) {
        polls_.clear();
        LoadPrinters(1, interval);
        const double start = clock_.Now();
        RunPasses({{false}, {false}, {false}});
        ASSERT_EQ(polls_.size(), 3u);
        EXPECT_EQ(polls_[0].time, start) << "the first pass begins at once";
        for (size_t i = 1; i < polls_.size(); ++i) {
            const double gap = polls_[i].time - polls_[i - 1].time;
            EXPECT_GE(gap, interval) << "interval " << interval;
            EXPECT_LE(gap, interval + 0.4 + 1e-6) << "interval " << interval;
        }
    }
}

TEST_F(MonitorLoopTest, AQuitDuringAWaitTakesEffectWhenTheWaitEnds)
{
    LoadPrinters(2, 60);
    const double start = clock_.Now();
    clock_.OnSleep = [this] { form_->QuitRequested = true; };
    int polls = 0;
    MonitorLoop loop(*form_, [&](frmMain&, int16_t) {
        ++polls;
        return false;
    });
    loop.Run();
    EXPECT_EQ(polls, 2) << "no printer was polled again after the quit";
    EXPECT_GE(clock_.Now() - start, 60.0) << "the wait ran to its end";
}

TEST_F(MonitorLoopTest, AQuitDuringAPassStopsBeforeTheNextPoll)
{
    LoadPrinters(3, 2);
    std::vector<int16_t> polled;
    MonitorLoop loop(*form_, [&](frmMain& form, int16_t index) {
        polled.push_back(index);
        form.QuitRequested = index == 0;
        return true;
    });
    loop.Run();
    EXPECT_EQ(polled, std::vector<int16_t>{0});
    EXPECT_TRUE(pictures_.empty()) << "the pass was not finished";
    EXPECT_EQ(beeps_, 0);
}

TEST_F(MonitorLoopTest, TheWaitHandlesEventsBetweenSlices)
{
    LoadPrinters(1, 1);
    bool delivered = false;
    QMetaObject::invokeMethod(form_.get(), [&] { delivered = true; }, Qt::QueuedConnection);
    RunPasses({{false}, {false}});
    EXPECT_TRUE(delivered);
}

TEST(FormActivateTest, StartsExactlyOneLoopHoweverOftenTheWindowIsActivated)
{
    FakeClock clock;
    TempDir dir;
    dir.Write("q.ini", "[General]\nUpdateInterval=1\n[Printer1]\nPort=-1\n");
    frmMain form(dir.File("q.ini"));
    ASSERT_TRUE(form.Form_Load());
    int polls = 0;
    int depth = 0;
    int deepest = 0;
    form.Poll = [&](frmMain& f, int16_t) {
        deepest = std::max(deepest, ++depth);
        ++polls;
        // The window comes into view and is activated again while the loop
        // runs, as the alarm or the tray menu would do.
        f.hide();
        f.show();
        f.Form_Activate();
        DoEvents();
        if (polls == 3)
            f.QuitRequested = true;
        --depth;
        return true;
    };
    form.StartUpEnded = true;
    form.show();
    form.Form_Activate();
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(deepest, 1) << "a second loop ran inside the first";
    EXPECT_FALSE(form.isVisible()) << "the window is unloaded when the loop ends";
}

}  // namespace
