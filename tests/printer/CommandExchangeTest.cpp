// The command/response exchange over an open serial link to a printer on a
// pseudo-terminal. Time runs on a fake clock; each of its sleeps lets real
// bytes arrive for a moment.
#include "SerialPrinterFixture.h"

#include "platform/EventPump.h"
#include "platform/MSComm.h"
#include "printer/CommandExchange.h"
#include "printer/SerialTransport.h"
#include "support/FakeClock.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const std::string kTerminator(1, kReplyTerminator);
const std::string kAnswer("\x01\x00\x00\xF0", 4);

class CommandExchangeTest : public SerialPrinterFixture {
protected:
    CommandExchangeTest()
    {
        Load();
        SetCom(*form, 0);
        EXPECT_TRUE(form->LinkOpen);
        clock.OnSleep = [] { WaitForEvents(2); };
    }

    std::string Exchange(const std::string& terminator = kTerminator)
    {
        return SendAndWait(*form, kStatusCommand, terminator, kReplyTimeoutSeconds);
    }

    // Counts receive events, then lets `after` act once the window's own
    // handler has run.
    void WatchReceiveEvents(std::function<void()> after = {})
    {
        form->MSComm1->OnComm = [this, after] {
            ++receiveEvents;
            MSComm1_OnComm(*form);
            if (after)
                after();
        };
    }

    ExchangeState& State() { return form->Exchange; }

    FakeClock clock;
    int receiveEvents = 0;
};

TEST_F(CommandExchangeTest, AReplyEndsAtItsFirstTerminatorWhereverItComes)
{
    printer.Answer = kAnswer + "\x55";
    EXPECT_EQ(Exchange(), kAnswer) << "0x55 after the terminator is not kept";
    EXPECT_EQ(printer.Received(), kStatusCommand);
    EXPECT_FALSE(State().WaitingReply);
    EXPECT_EQ(State().Reply, "");
    EXPECT_LE(clock.Sleeps(), 10);
    printer.Answer = std::string("\x00\xF0\x01", 3);
    EXPECT_EQ(Exchange(), std::string("\x00\xF0", 2));
    printer.Answer = "AB";
    EXPECT_EQ(Exchange(""), "A") << "an empty terminator ends the exchange at the first byte";
}

TEST_F(CommandExchangeTest, AReplyArrivingOneBytePerEventIsGatheredWhole)
{
    size_t next = 0;
    auto sendNext = [&] {
        if (next < kAnswer.size())
            printer.Send(kAnswer.substr(next++, 1));
    };
    printer.OnRequest = sendNext;
    WatchReceiveEvents(sendNext);
    EXPECT_EQ(Exchange(), kAnswer);
    EXPECT_EQ(receiveEvents, 4);
    EXPECT_EQ(State().TerminalText, "") << "each event hands its terminal text over";
}

TEST_F(CommandExchangeTest, BytesThatArriveBeforeTheRequestBelongToNoReply)
{
    WatchReceiveEvents();
    printer.Send(std::string("\x55\xF0\x01", 3));
    ASSERT_TRUE(PumpUntil([&] { return receiveEvents > 0 && form->MSComm1->InBufferCount() == 0; }));
    printer.Answer = kAnswer;
    EXPECT_EQ(Exchange(), kAnswer);
}

TEST_F(CommandExchangeTest, ALongReplyKeepsItsLast1024BytesUntilTheTimeOut)
{
    std::string flood;
    for (int i = 0; i < 2000; ++i)
        flood += static_cast<char>(i % 200);
    printer.Answer = flood;
    std::string gathered;
    clock.OnSleep = [&] {
        WaitForEvents(2);
        gathered = State().Reply;
    };
    EXPECT_EQ(Exchange(), "");
    EXPECT_EQ(gathered, flood.substr(2000 - kReplyLimit));
    EXPECT_EQ(State().Reply, "") << "the reply is dropped when the exchange ends";
}

TEST_F(CommandExchangeTest, NoReplyTimesOutAtTheFirstPassBeyondTheLimit)
{
    const double start = clock.Now();
    EXPECT_EQ(Exchange(), "");
    EXPECT_GT(clock.Now() - start, kReplyTimeoutSeconds);
    EXPECT_LE(clock.Now() - start, kReplyTimeoutSeconds + 0.1001);
    EXPECT_FALSE(State().WaitingReply);
}

// What happens at the n-th sleep of the wait, and after how many sleeps the
// wait ends empty.
TEST_F(CommandExchangeTest, TheWaitTestsItsLimitBeforeItsReplyAndStopsAtAnAbort)
{
    struct Case {
        const char* what;
        std::function<void(double start, int n)> atSleep;
        int sleeps;
    };
    const Case cases[] = {
        {"elapsed time equal to the limit still waits",
         [&](double start, int n) {
             if (n == 1)
                 clock.SetNow(start + kReplyTimeoutSeconds);
         },
         2},
        {"a reply completing in the pass that passes the limit is discarded",
         [&](double start, int) {
             printer.Send(kAnswer);
             PumpUntil([&] { return !State().WaitingReply; });
             clock.SetNow(start + kReplyTimeoutSeconds + 0.01);
         },
         1},
        {"an abort", [&](double, int) { State().AbortCode = kAbortExchange; }, 1}};
    for (const Case& c : cases) {
        const double start = clock.Now();
        int sleeps = 0;
        clock.OnSleep = [&] { c.atSleep(start, ++sleeps); };
        EXPECT_EQ(Exchange(), "") << c.what;
        EXPECT_EQ(sleeps, c.sleeps) << c.what;
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
    EXPECT_FALSE(form->LinkOpen);
    EXPECT_FALSE(PortOpen());
}

TEST_F(CommandExchangeTest, QueuedBytesWaitForALinkAndGoOutInOrder)
{
    ClosePort(*form);
    AddData(*form, "ab");
    SendData(*form);
    EXPECT_EQ(State().SendBuffer, "ab") << "with no link open nothing is sent";
    AddData(*form, "c");

    SetCom(*form, 0);
    SendData(*form);
    EXPECT_EQ(State().SendBuffer, "");
    EXPECT_EQ(form->MSComm1->OutBufferCount(), 0) << "the send returns once the output has drained";
    ASSERT_TRUE(PumpUntil([&] { return printer.Received() == "abc"; }));
}

}  // namespace
