// Network printers polled over loopback against the printer simulator.
#include "platform/EventPump.h"
#include "platform/LabelControl.h"
#include "printer/PollPrinter.h"
#include "socket/CNetSocket.h"
#include "support/FakeClock.h"
#include "support/LoadedForm.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

namespace {

class NetworkTransportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(simulator_.Ready()); }

    void Load(const std::string& ip, const std::string& socket)
    {
        form_.reset();
        form_ = LoadForm(dir_, "[Printer1]\nPort=0\nIP=" + ip + "\nSocket=" + socket + "\n");
    }

    void LoadSimulated() { Load("127.0.0.1", std::to_string(simulator_.TcpPort())); }

    // Lines of the simulator's log that contain `text`, until none comes.
    int Count(const std::string& text)
    {
        int n = 0;
        while (simulator_.WaitForLine(text, 200))
            ++n;
        return n;
    }

    // A fake-clock wait that still lets the simulator's bytes arrive.
    void PumpWhileSleeping(FakeClock& clock)
    {
        clock.OnSleep = [] { WaitForEvents(5); };
    }

    const std::string& Stored() const { return form_->PrinterTable[0].StatusBytes; }

    SimulatorProcess simulator_{{"--tcp", "0"}};
    TempDir dir_;
    std::unique_ptr<frmMain> form_;
};

TEST_F(NetworkTransportTest, EachPollOpensOneConnectionStoresTheAnswerAndClosesIt)
{
    LoadSimulated();
    simulator_.Command("paper empty");
    simulator_.Command("paper held");
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_TRUE(PollPrinter(*form_, 0));
        EXPECT_EQ(Stored(), std::string("\x04\x01\x00\xF0", 4));
        EXPECT_EQ(form_->Winsock1->State(), sckClosed);
        EXPECT_FALSE(form_->LinkOpen);
    }
    EXPECT_EQ(form_->lblPaperStatusMessage[0]->Caption(), "Empty");
    EXPECT_EQ(form_->lblPresenterStatusMessage[0]->Caption(), "Paper Held");
    EXPECT_EQ(Count(" ended"), 3) << "one connection per poll, each closed again";
}

TEST_F(NetworkTransportTest, AnAddressOfEightCharactersOrFewerIsNeverTried)
{
    for (const char* ip : {"127.1", "127.0.1", "127.0.01"}) {
        Load(ip, std::to_string(simulator_.TcpPort()));
        EXPECT_FALSE(PollPrinter(*form_, 0)) << ip;
        EXPECT_EQ(Stored(), "") << ip;
    }
    EXPECT_EQ(Count("connection from"), 0);
    // Nine characters pass the test.
    Load("127.0.0.1", std::to_string(simulator_.TcpPort()));
    PollPrinter(*form_, 0);
    EXPECT_EQ(Stored(), std::string("\x00\x00\x00\xF0", 4));
}

TEST_F(NetworkTransportTest, APortThatIsNoNumberFailsWithinTheConnectWait)
{
    FakeClock clock;
    Load("127.0.0.1", "abc");
    const double start = clock.Now();
    EXPECT_FALSE(PollPrinter(*form_, 0));
    EXPECT_FALSE(form_->LinkOpen);
    EXPECT_GT(clock.Now() - start, 5.0);
    EXPECT_LE(clock.Now() - start, 5.0 + 0.4 + 1e-6) << "no exchange after a failed connect";
    EXPECT_EQ(Stored(), "");
}

TEST_F(NetworkTransportTest, FailedExchangesKeepTheLastGoodStatus)
{
    LoadSimulated();
    simulator_.Command("head open");
    ASSERT_TRUE(PollPrinter(*form_, 0));
    const std::string good = Stored();
    FakeClock clock;
    PumpWhileSleeping(clock);
    // A printer that closes at once is still waited for: its reply wait runs out.
    const std::pair<const char*, double> cases[] = {
        {"silent", 5.0}, {"close", 5.0}, {"early", 0}, {"garbage", 5.0}, {"stop listening", 0}};
    for (const auto& [misbehaviour, least] : cases) {
        simulator_.Command("normal");
        simulator_.Command("listen");
        simulator_.Command(misbehaviour);
        const double start = clock.Now();
        EXPECT_FALSE(PollPrinter(*form_, 0)) << misbehaviour;
        EXPECT_EQ(Stored(), good) << misbehaviour;
        EXPECT_EQ(form_->lblPrintHeadStatusMessage[0]->Caption(), "Open") << misbehaviour;
        EXPECT_EQ(form_->Winsock1->State(), sckClosed) << misbehaviour;
        EXPECT_FALSE(form_->LinkOpen) << misbehaviour;
        EXPECT_GE(clock.Now() - start, least) << misbehaviour;
        EXPECT_LT(clock.Now() - start, 11.0) << misbehaviour << ": longer than connect and reply waits";
    }
}

// A signal or the tray's Exit may unload the window inside any wait of a
// poll: in the connect wait of a printer that refuses, or in the reply wait
// of one that stays silent. The poll then ends as on a closed link.
TEST_F(NetworkTransportTest, AnUnloadInsideAWaitEndsThePollAsAClosedLink)
{
    for (const char* misbehaviour : {"stop listening", "silent"}) {
        LoadSimulated();
        simulator_.Command("listen");
        simulator_.Command(misbehaviour);
        FakeClock clock;
        clock.OnSleep = [this, &clock] {
            WaitForEvents(5);
            if (clock.Sleeps() == 1)
                form_->Form_Unload();
        };
        EXPECT_FALSE(PollPrinter(*form_, 0)) << misbehaviour;
        EXPECT_FALSE(form_->LinkOpen) << misbehaviour;
        EXPECT_EQ(form_->Winsock1, nullptr) << misbehaviour;
        EXPECT_EQ(Stored(), "") << misbehaviour;
    }
}

}  // namespace
