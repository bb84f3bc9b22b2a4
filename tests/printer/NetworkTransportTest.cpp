// Network printers polled over loopback, on a printer context without the
// main window. The printer is played by the test: a listening socket that
// answers each status request, or misbehaves as the test tells it.
#include "PrinterLinkFixture.h"

#include "platform/SocketCalls.h"
#include "printer/PollPrinter.h"
#include "support/LoadedForm.h"

#include <memory>

namespace {

// A network printer played by the test on loopback: each status request
// gets Answer (nothing while it is empty), unless the printer closes every
// connection at once. Its refusing port is bound but never listens.
class LoopbackPrinter {
public:
    LoopbackPrinter()
    {
        listener_.Events.ConnectionRequest = [this](int32_t requestID) {
            connection_ = std::make_unique<CNetSocket>();
            connection_->Events.DataArrival = [this](int32_t) { Serve(); };
            connection_->Accept(requestID);
            if (CloseAtOnce)
                connection_->CloseSck();
        };
        listener_.Bind(0, "127.0.0.1");
        listener_.Listen();
        refusing_.Bind(0, "127.0.0.1");
    }

    std::string Port() const { return std::to_string(listener_.LocalPort()); }
    std::string RefusingPort() const { return std::to_string(refusing_.LocalPort()); }

    std::string Answer;
    bool CloseAtOnce = false;
    int Requests = 0;

private:
    void Serve()
    {
        std::string request;
        connection_->GetData(request);
        if (request != kStatusCommand)
            return;
        ++Requests;
        if (!Answer.empty())
            connection_->SendData(Answer);
    }

    CNetSocket listener_;
    CNetSocket refusing_;
    std::unique_ptr<CNetSocket> connection_;
};

class NetworkTransportTest : public ::testing::Test {
protected:
    LoopbackPrinter printer;
    TestPrinterContext context{{PrinterEntry{.Port = 0, .IP = "127.0.0.1", .Socket = printer.Port()}}};
};

// A good answer, then polls that fail and keep it: misbehaving printers,
// and printers without a usable address (one of eight characters or fewer
// is never tried). A poll that waits ends within its connect wait or its
// reply wait, never both; the fake waits give the real side its time, until
// the connection attempt ends and then until an answer completes or else
// the request arrives.
TEST_F(NetworkTransportTest, APollStoresAGoodAnswerAndAFailedOneKeepsIt)
{
    printer.Answer = std::string("\x02\x01\x00\xF0", 4);
    ASSERT_TRUE(PollPrinter(context, 0));
    const std::string good = printer.Answer;
    EXPECT_EQ(context.Stored(0), good);
    EXPECT_EQ(context.lblPresenterStatusMessage[0]->Caption(), "Paper Held");
    struct Case {
        const char* what;
        std::string ip, socket, answer;
        bool closes;
        int requests;
        bool waits;
    };
    const std::string port = printer.Port();
    const Case cases[] = {{"silent", "127.0.0.1", port, "", false, 1, true},
                          {"closes at once, yet waited for", "127.0.0.1", port, "", true, 0, true},
                          {"answers early", "127.0.0.1", port, "\x01\xF0", false, 1, false},
                          {"ends its answer late", "127.0.0.1", port, std::string("\0\0\0\0\xF0", 5), false, 1, false},
                          {"refuses", "127.0.0.1", printer.RefusingPort(), "", false, 0, true},
                          {"a port that is no number", "127.0.0.1", "abc", "", false, 0, true},
                          {"127.1", "127.1", port, "", false, 0, false},
                          {"127.0.1", "127.0.1", port, "", false, 0, false},
                          {"127.0.01", "127.0.01", port, "", false, 0, false}};
    FakeClock clock;
    for (const Case& c : cases) {
        std::tie(printer.Answer, printer.CloseAtOnce) = std::tie(c.answer, c.closes);
        std::tie(context.PrinterTable[0].IP, context.PrinterTable[0].Socket) = std::tie(c.ip, c.socket);
        const int requests = printer.Requests;
        GiveRealTime(clock, [&] {
            if (!context.LinkOpen)
                return context.Winsock1->State() != sckConnecting;
            return c.answer.empty() ? printer.Requests > requests : !context.Exchange.WaitingReply;
        });
        const double start = clock.Now();
        EXPECT_FALSE(PollPrinter(context, 0)) << c.what;
        EXPECT_EQ(printer.Requests - requests, c.requests) << c.what;
        EXPECT_EQ(context.Stored(0), good) << c.what;
        EXPECT_EQ(context.lblPrintHeadStatusMessage[0]->Caption(), "Open") << c.what;
        EXPECT_EQ(context.Winsock1->State(), sckClosed) << c.what;
        EXPECT_FALSE(context.LinkOpen) << c.what;
        EXPECT_EQ(clock.Now() - start > 5.0, c.waits) << c.what;
        EXPECT_LE(clock.Now() - start, 5.6) << c.what;
    }

    // No socket to be had (descriptors run out) costs that poll only.
    std::tie(context.PrinterTable[0].Socket, printer.Answer) = std::tie(port, good);
    context.PrinterTable[0].IP = "127.0.0.1";
    GiveRealTime(clock, [&] {
        return context.LinkOpen ? !context.Exchange.WaitingReply : context.Winsock1->State() != sckConnecting;
    });
    SocketCalls::FailNext(SocketCalls::Call::Create, 10024);
    EXPECT_FALSE(PollPrinter(context, 0));
    EXPECT_TRUE(PollPrinter(context, 0)) << "the next poll reaches the printer";
}

// A signal or the tray's Exit may unload the window inside any wait of a
// poll: in the connect wait of a printer that refuses, or in the reply wait
// of one that stays silent. The poll then ends as on a closed link.
TEST(NetworkTransportUnloadTest, AnUnloadInsideAWaitEndsThePollAsAClosedLink)
{
    LoopbackPrinter printer;
    for (bool refused : {true, false}) {
        TempDir dir;
        auto form = LoadForm(dir, "[Printer1]\nPort=0\nIP=127.0.0.1\nSocket="
                                      + (refused ? printer.RefusingPort() : printer.Port()) + "\n");
        FakeClock clock;
        clock.OnSleep = [&] {
            if (form->Winsock1 && PumpUntil([&] { return form->Winsock1->State() != sckConnecting; })
                && (refused || form->LinkOpen))
                form->Form_Unload();
        };
        EXPECT_FALSE(PollPrinter(*form, 0)) << refused;
        EXPECT_FALSE(form->LinkOpen) << refused;
        EXPECT_EQ(form->Winsock1, nullptr) << refused;
        EXPECT_EQ(form->PrinterTable[0].StatusBytes, "") << refused;
    }
    EXPECT_TRUE(PumpUntil([&] { return printer.Requests == 1; })) << "the silent printer was asked before the unload";
}

}  // namespace
