// The monitor loop's passes, alarm and wait, on an injected clock.
#include "core/MonitorLoop.h"
#include "platform/Beep.h"
#include "platform/EventPump.h"
#include "support/FakeClock.h"
#include "support/LoadedForm.h"

#include <QMetaObject>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

class MonitorLoopTest : public ::testing::Test {
protected:
    MonitorLoopTest() { SetBeepHook([this] { ++beeps_; }); }
    ~MonitorLoopTest() override { SetBeepHook({}); }

    void LoadPrinters(int count, int interval)
    {
        form_ = LoadForm(dir_, PrintersIni(count, "Port=-1\n", "UpdateInterval=" + std::to_string(interval) + "\n"));
        form_->TrayPictureSink = [this](TrayPicture picture) { pictures_ += picture == TrayPicture::Fault ? 'F' : 'N'; };
    }

    // Runs the loop over scripted passes, faults[pass][printer]; the loop
    // is asked to quit while the last printer of the last pass is polled.
    void RunPasses(const std::vector<std::vector<bool>>& faults)
    {
        size_t pass = 0;
        MonitorLoop loop(*form_, [&](frmMain& form, int16_t index) {
            polls_.push_back({pass, index, clock_.Now()});
            const bool fault = faults.at(pass).at(static_cast<size_t>(index));
            if (index == form.PrinterCount - 1 && ++pass == faults.size())
                form.QuitRequested = true;
            return fault;
        });
        loop.Run();
    }

    bool WindowInView() const { return form_->isVisible() && !form_->isMinimized(); }

    struct Poll {
        size_t pass;
        int16_t index;
        double time;
    };

    FakeClock clock_;
    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    int beeps_ = 0;
    std::string pictures_;
    std::vector<Poll> polls_;
};

enum class User { Nothing, Hides, Minimises };

struct AlarmCase {
    const char* what;
    std::vector<bool> faults;  // one pass each
    User inEachWait;           // what the user does with the window while the loop waits
    bool shownAtStart;
    int beeps;
    std::string pictures;      // the tray picture of each pass: Fault or Normal
    std::string inView;        // whether the window is in view after each pass
};

TEST_F(MonitorLoopTest, TheAlarmBeepsOnceAndBringsTheWindowIntoViewAtTheStartOfEachFaultEpisode)
{
    const AlarmCase cases[] = {
        {"a fault over three passes", {true, true, true}, User::Nothing, false, 1, "FFF", "111"},
        {"fault, clean, fault", {true, false, true}, User::Hides, false, 2, "FNF", "101"},
        {"hidden while alarmed", {true, true, true}, User::Hides, false, 1, "FFF", "100"},
        {"shown before the fault", {false, true}, User::Nothing, true, 1, "NF", "11"},
        {"no fault", {false, false}, User::Nothing, false, 0, "NN", "00"},
        {"minimised", {false, true, false, true}, User::Minimises, false, 2, "NFNF", "0101"},
    };
    for (const AlarmCase& c : cases) {
        SCOPED_TRACE(c.what);
        beeps_ = 0;
        pictures_.clear();
        LoadPrinters(1, 2);
        if (c.shownAtStart)
            form_->show();
        std::string inView;
        bool passEnded = false;
        clock_.OnSleep = [&] {
            if (passEnded)
                inView += WindowInView() ? '1' : '0';
            passEnded = false;
            if (c.inEachWait == User::Hides)
                form_->hide();
            else if (c.inEachWait == User::Minimises)
                form_->showMinimized();
        };
        size_t pass = 0;
        MonitorLoop loop(*form_, [&](frmMain& form, int16_t) {
            passEnded = true;
            form.QuitRequested = pass + 1 == c.faults.size();
            return c.faults[pass++];
        });
        loop.Run();
        inView += WindowInView() ? '1' : '0';
        EXPECT_EQ(beeps_, c.beeps);
        EXPECT_EQ(pictures_, c.pictures);
        EXPECT_EQ(inView, c.inView);
        clock_.OnSleep = nullptr;
    }
}

TEST_F(MonitorLoopTest, EveryPrinterIsPolledInEveryPassWhateverFaulted)
{
    LoadPrinters(3, 2);
    RunPasses({{true, false, false}, {false, false, true}, {false, true, false}});
    ASSERT_EQ(polls_.size(), 9u);
    for (size_t i = 0; i < polls_.size(); ++i) {
        EXPECT_EQ(polls_[i].index, static_cast<int16_t>(i % 3));
        EXPECT_EQ(polls_[i].pass, i / 3);
    }
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(pictures_, "FFF") << "a pass with any faulty printer is a faulty pass";
}

TEST_F(MonitorLoopTest, PassesStartOneIntervalPlusAtMostOneSliceApartAndEventsAreHandledBetweenSlices)
{
    for (int interval : {1, 3, 60}) {
        polls_.clear();
        LoadPrinters(1, interval);
        bool delivered = false;
        QMetaObject::invokeMethod(form_.get(), [&] { delivered = true; }, Qt::QueuedConnection);
        const double start = clock_.Now();
        RunPasses({{false}, {false}, {false}});
        ASSERT_EQ(polls_.size(), 3u);
        EXPECT_EQ(polls_[0].time, start) << "the first pass begins at once";
        for (size_t i = 1; i < polls_.size(); ++i) {
            const double gap = polls_[i].time - polls_[i - 1].time;
            EXPECT_GE(gap, interval) << "interval " << interval;
            EXPECT_LE(gap, interval + 0.4 + 1e-6) << "interval " << interval;
        }
        EXPECT_TRUE(delivered);
    }
}

TEST_F(MonitorLoopTest, AQuitTakesEffectAtTheEndOfTheWaitOrBeforeTheNextPoll)
{
    LoadPrinters(2, 60);
    const double start = clock_.Now();
    clock_.OnSleep = [this] { form_->QuitRequested = true; };
    std::vector<int16_t> polled;
    MonitorLoop(*form_, [&](frmMain&, int16_t index) {
        polled.push_back(index);
        return false;
    }).Run();
    EXPECT_EQ(polled, (std::vector<int16_t>{0, 1})) << "no printer was polled again after the quit";
    EXPECT_GE(clock_.Now() - start, 60.0) << "the wait ran to its end";

    LoadPrinters(3, 2);
    pictures_.clear();
    polled.clear();
    MonitorLoop(*form_, [&](frmMain& form, int16_t index) {
        polled.push_back(index);
        form.QuitRequested = true;
        return true;
    }).Run();
    EXPECT_EQ(polled, std::vector<int16_t>{0});
    EXPECT_EQ(pictures_, "") << "the pass was not finished";
    EXPECT_EQ(beeps_, 0);
}

TEST_F(MonitorLoopTest, TheActivationStartsExactlyOneLoopHoweverOftenTheWindowIsActivated)
{
    LoadPrinters(1, 1);
    int polls = 0;
    int depth = 0;
    int deepest = 0;
    form_->Poll = [&](frmMain& f, int16_t) {
        deepest = std::max(deepest, ++depth);
        ++polls;
        // The window comes into view and is activated again while the loop
        // runs, as the alarm or the tray menu would do.
        f.hide();
        f.show();
        f.Form_Activate();
        DoEvents();
        f.QuitRequested = polls == 3;
        --depth;
        return true;
    };
    form_->StartUpEnded = true;
    form_->show();
    form_->Form_Activate();
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(deepest, 1) << "a second loop ran inside the first";
    EXPECT_FALSE(form_->isVisible()) << "the window is unloaded when the loop ends";
}

}  // namespace
