// The monitor loop's passes, alarm and wait, on an injected clock.
#include "core/MonitorLoop.h"
#include "platform/Beep.h"
#include "platform/EventPump.h"
#include "support/FakeClock.h"
#include "support/LoadedForm.h"

#include <QMetaObject>
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
        beeps_ = 0;
        pictures_.clear();
        polls_.clear();
    }

    // Runs the loop over scripted passes, faults[pass][printer]; the loop
    // is asked to quit while the last printer of the last pass is polled.
    void RunPasses(const std::vector<std::vector<bool>>& faults)
    {
        size_t pass = 0;
        MonitorLoop loop(form_->LoopHost(), [&](int16_t index) {
            polls_.push_back({index, clock_.Now()});
            const bool fault = faults.at(pass).at(static_cast<size_t>(index));
            if (index == form_->PrinterCount - 1 && ++pass == faults.size())
                form_->QuitRequested = true;
            return fault;
        });
        loop.Run();
    }

    bool WindowInView() const { return form_->isVisible() && !form_->isMinimized(); }

    struct Poll {
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
    std::string faults;   // of each pass, one printer: Fault or Normal, as the tray picture must be
    User inEachWait;      // what the user does with the window while the loop waits
    bool shownAtStart;
    std::string alarms;   // after each pass: the beeps so far, and the fault episodes counted
    std::string inView;   // whether the window is in view after each pass
};

TEST_F(MonitorLoopTest, TheAlarmBeepsCountsAnEpisodeAndBringsTheWindowIntoViewOnceAtTheStartOfEachFaultEpisode)
{
    const AlarmCase cases[] = {
        {"a fault over three passes", "FFF", User::Nothing, false, "111", "111"},
        {"fault, clean, fault", "FNF", User::Hides, false, "112", "101"},
        {"hidden while alarmed", "FFF", User::Hides, false, "111", "100"},
        {"shown before the fault", "NF", User::Nothing, true, "01", "11"},
        {"no fault", "NN", User::Nothing, false, "00", "00"},
        {"minimised", "NFNF", User::Minimises, false, "0112", "0101"},
    };
    for (const AlarmCase& c : cases) {
        SCOPED_TRACE(c.what);
        LoadPrinters(1, 2);
        if (c.shownAtStart)
            form_->show();
        std::string beeps, episodes, inView;
        auto record = [&] {
            beeps += std::to_string(beeps_);
            episodes += std::to_string(form_->Metrics.FaultEpisodes);
            inView += WindowInView() ? '1' : '0';
        };
        clock_.OnSleep = [&] {
            if (inView.size() < polls_.size())
                record();
            if (c.inEachWait == User::Hides)
                form_->hide();
            else if (c.inEachWait == User::Minimises)
                form_->showMinimized();
        };
        std::vector<std::vector<bool>> passes;
        for (char fault : c.faults)
            passes.push_back({fault == 'F'});
        RunPasses(passes);
        record();
        clock_.OnSleep = nullptr;
        EXPECT_EQ(pictures_, c.faults);
        EXPECT_EQ(beeps, c.alarms);
        EXPECT_EQ(episodes, c.alarms);
        EXPECT_EQ(inView, c.inView);
    }
}

// Whatever faulted, and a pass with any fault is a faulty pass.
TEST_F(MonitorLoopTest, EveryPrinterIsPolledInPassesOneIntervalPlusAtMostOneSliceApartWithEventsHandledBetween)
{
    for (int interval : {1, 3, 60}) {
        SCOPED_TRACE(interval);
        LoadPrinters(3, interval);
        bool delivered = false;
        QMetaObject::invokeMethod(form_.get(), [&] { delivered = true; }, Qt::QueuedConnection);
        const double start = clock_.Now();
        RunPasses({{true, false, false}, {false, false, true}, {false, true, false}});
        ASSERT_EQ(polls_.size(), 9u);
        EXPECT_EQ(polls_[0].time, start) << "the first pass begins at once";
        for (size_t i = 0; i < polls_.size(); ++i) {
            EXPECT_EQ(polls_[i].index, static_cast<int16_t>(i % 3));
            EXPECT_EQ(polls_[i].time, polls_[i - i % 3].time) << "no wait inside a pass";
        }
        for (size_t i = 3; i < polls_.size(); i += 3) {
            EXPECT_GE(polls_[i].time - polls_[i - 3].time, interval);
            EXPECT_LE(polls_[i].time - polls_[i - 3].time, interval + 0.4 + 1e-6);
        }
        EXPECT_TRUE(delivered);
        EXPECT_EQ(beeps_, 1);
        EXPECT_EQ(pictures_, "FFF");
    }
}

TEST_F(MonitorLoopTest, AQuitTakesEffectAtTheEndOfTheWaitOrBeforeTheNextPoll)
{
    LoadPrinters(2, 60);
    const double start = clock_.Now();
    clock_.OnSleep = [this] { form_->QuitRequested = true; };
    RunPasses({{false, false}, {false, false}});
    EXPECT_EQ(polls_.size(), 2u) << "no printer was polled again after the quit";
    EXPECT_GE(clock_.Now() - start, 60.0) << "the wait ran to its end";

    LoadPrinters(3, 2);
    MonitorLoop(form_->LoopHost(), [&](int16_t index) {
        polls_.push_back({index, clock_.Now()});
        form_->QuitRequested = true;
        return true;
    }).Run();
    EXPECT_EQ(polls_.size(), 1u);
    EXPECT_EQ(pictures_, "") << "the pass was not finished";
    EXPECT_EQ(beeps_, 0);
}

TEST_F(MonitorLoopTest, TheActivationStartsExactlyOneLoopHoweverOftenTheWindowIsActivated)
{
    LoadPrinters(1, 1);
    bool polling = false;
    form_->Poll = [&](frmMain& f, int16_t index) {
        EXPECT_FALSE(polling) << "a second loop ran inside the first";
        polling = true;
        polls_.push_back({index, clock_.Now()});
        // The window comes into view and is activated again while the loop
        // runs, as the alarm or the tray menu would do.
        f.hide();
        f.show();
        f.Form_Activate();
        DoEvents();
        f.QuitRequested = polls_.size() == 3;
        polling = false;
        return true;
    };
    form_->StartUpEnded = true;
    form_->show();
    form_->Form_Activate();
    EXPECT_EQ(polls_.size(), 3u);
    EXPECT_FALSE(form_->isVisible()) << "the window is unloaded when the loop ends";
}

}  // namespace
