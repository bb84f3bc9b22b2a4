// The command/response exchange over an open serial link to a printer on a
// pseudo-terminal. Time runs on a fake clock; where a real reply is on its
// way, the fake sleeps wait for it in real time first.
#include "PrinterLinkFixture.h"

#include "printer/SerialTransport.h"

#include <tuple>

namespace {

const std::string kTerminator(1, kReplyTerminator);
const std::string kAnswer("\x01\x00\x00\xF0", 4);

class CommandExchangeTest : public SerialPrinterFixture {
protected:
    CommandExchangeTest()
    {
        SetCom(context, 0);
        EXPECT_TRUE(context.LinkOpen);
    }

    std::string Exchange(const std::string& terminator = kTerminator)
    {
        return SendAndWait(context, kStatusCommand, terminator, kReplyTimeoutSeconds);
    }

    void AwaitReply() { GiveRealTime(clock, [this] { return !State().WaitingReply; }); }
    ExchangeState& State() { return context.Exchange; }

    FakeClock clock;
};

TEST_F(CommandExchangeTest, AReplyEndsAtItsFirstTerminatorAndBytesBeforeTheRequestBelongToNone)
{
    int events = 0;
    context.MSComm1->OnComm = [&] {
        ++events;
        MSComm1_OnComm(context);
    };
    printer.Send(std::string("\x55\xF0\x01", 3));
    ASSERT_TRUE(PumpUntil([&] { return events > 0 && context.MSComm1->InBufferCount() == 0; }));
    // An empty terminator ends the exchange at the first byte.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {kAnswer + "\x55", kTerminator, kAnswer}, {std::string("\x00\xF0\x01", 3), kTerminator, std::string("\x00\xF0", 2)},
        {"AB", "", "A"}};
    for (const auto& [answer, terminator, reply] : cases) {
        printer.Answer = answer;
        AwaitReply();
        const int sleeps = clock.Sleeps();
        EXPECT_EQ(Exchange(terminator), reply);
        EXPECT_LE(clock.Sleeps() - sleeps, 1) << "no waiting once the reply is complete";
        EXPECT_EQ(State().Reply, "");
    }
    EXPECT_EQ(printer.Received(), kStatusCommand + kStatusCommand + kStatusCommand);
}

// The printer answers the request with the first byte and each receive
// event with the next.
TEST_F(CommandExchangeTest, AReplyArrivingOneBytePerEventIsGatheredWhole)
{
    printer.Answer = kAnswer.substr(0, 1);
    int events = 0;
    context.MSComm1->OnComm = [&] {
        MSComm1_OnComm(context);
        if (++events < 4)
            printer.Send(kAnswer.substr(events, 1));
    };
    AwaitReply();
    EXPECT_EQ(Exchange(), kAnswer);
    EXPECT_EQ(events, 4);
}

TEST_F(CommandExchangeTest, ALongReplyKeepsItsLast1024BytesUntilTheTimeOut)
{
    for (int i = 0; i < 2000; ++i)
        printer.Answer += static_cast<char>(i % 200);
    const std::string last = printer.Answer.substr(2000 - kReplyLimit);
    bool held = false;
    GiveRealTime(clock, [&] { return held = held || State().Reply == last; });
    EXPECT_EQ(Exchange(), "");
    EXPECT_TRUE(held);
    EXPECT_EQ(State().Reply, "") << "the reply is dropped when the exchange ends";
}

// What happens at the n-th sleep of the wait, and how much fake time has
// passed when the wait ends empty.
TEST_F(CommandExchangeTest, TheWaitEndsAtTheFirstPassBeyondItsLimitOrAtAnAbort)
{
    const double limit = kReplyTimeoutSeconds;
    struct Case {
        const char* what;
        std::function<void(double start, int n)> atSleep;
        double least, most;
    };
    const Case cases[] = {
        {"nothing comes", [](double, int) {}, limit, limit + 0.1001},
        {"elapsed time equal to the limit still waits",
         [&](double start, int n) {
             if (n == 1)
                 clock.SetNow(start + limit);
         },
         limit + 0.05, limit + 0.1001},
        {"a reply completing in the pass that passes the limit is discarded",
         [&](double start, int) {
             printer.Send(kAnswer);
             PumpUntil([&] { return !State().WaitingReply; });
             clock.SetNow(start + limit + 0.01);
         },
         limit, limit + 0.0101},
        {"an abort", [&](double, int) { State().AbortCode = kAbortExchange; }, 0, 0.1001}};
    for (const Case& c : cases) {
        const double start = clock.Now();
        int sleeps = 0;
        clock.OnSleep = [&] { c.atSleep(start, ++sleeps); };
        EXPECT_EQ(Exchange(), "") << c.what;
        EXPECT_GT(clock.Now() - start, c.least) << c.what;
        EXPECT_LE(clock.Now() - start, c.most) << c.what;
        EXPECT_FALSE(State().WaitingReply) << c.what;
    }
}

TEST_F(CommandExchangeTest, ADeviceGoneWhileSendingAbortsTheExchangeAndClosesTheLink)
{
    printer.Vanish();
    EXPECT_EQ(Exchange(), "");
    EXPECT_LE(clock.Sleeps(), 1) << "no waiting for the time-out";
    EXPECT_EQ(State().AbortCode, kAbortExchange);
    EXPECT_EQ(State().SendBuffer, "");
    EXPECT_FALSE(State().Sending);
    EXPECT_FALSE(context.LinkOpen);
    EXPECT_FALSE(context.MSComm1->PortOpen());
}

TEST_F(CommandExchangeTest, QueuedBytesWaitForALinkAndGoOutInOrder)
{
    ClosePort(context);
    AddData(context, "ab");
    SendData(context);
    EXPECT_EQ(State().SendBuffer, "ab") << "with no link open nothing is sent";
    AddData(context, "c");

    SetCom(context, 0);
    SendData(context);
    EXPECT_EQ(State().SendBuffer, "");
    EXPECT_EQ(context.MSComm1->OutBufferCount(), 0) << "the send returns once the output has drained";
    ASSERT_TRUE(PumpUntil([&] { return printer.Received() == "abc"; }));
}

}  // namespace
