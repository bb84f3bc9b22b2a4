// The status servers with real clients on loopback.
#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/LabelControl.h"
#include "socket/CNetSocket.h"
#include "support/ProgramRun.h"
#include "support/StatusClient.h"
#include "support/TempDir.h"

#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kRequest("\x1D\x61\x01", 3);
const std::string kStatusA("\x01\x00\x12\xF0", 4);
const std::string kStatusB("\x00\x04\x00\xF0", 4);

class StatusServerTest : public ::testing::Test {
protected:
    // Printer 1 served on port1_, printer 2 on port2_, both USB (never polled here).
    void SetUp() override
    {
        port1_ = FreeLoopbackPort();
        port2_ = FreeLoopbackPort();
        Load("[General]\nPrinters=2\n[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(port1_)
             + "\n[Printer2]\nPort=-1\nStatusServerSocket=" + std::to_string(port2_) + "\n");
        form_->PrinterTable[0].StatusBytes = kStatusA;
        form_->PrinterTable[1].StatusBytes = kStatusB;
    }

    void Load(const std::string& ini)
    {
        form_.reset();
        dir_.Write("q.ini", ini);
        form_ = std::make_unique<frmMain>(dir_.File("q.ini"));
        ASSERT_TRUE(form_->Form_Load());
    }

    TempDir dir_;
    std::unique_ptr<frmMain> form_;
    int32_t port1_ = 0;
    int32_t port2_ = 0;
};

TEST_F(StatusServerTest, ARequestInOnePieceGetsTheStoredStatusAgainAndAgain)
{
    StatusClient client(port1_);
    ASSERT_TRUE(client.Connected());
    client.Send(kRequest);
    EXPECT_EQ(client.Receive(4, 3000), kStatusA);
    client.Send(kRequest);
    EXPECT_EQ(client.Receive(4, 3000), kStatusA);
    form_->PrinterTable[0].StatusBytes = kStatusB;
    client.Send(kRequest);
    EXPECT_EQ(client.Receive(4, 3000), kStatusB) << "each answer comes from the store as it is now";
    EXPECT_FALSE(client.ClosedWithin(200)) << "answering does not end the connection";
}

TEST_F(StatusServerTest, EachServerAnswersForItsOwnPrinter)
{
    StatusClient one(port1_);
    StatusClient two(port2_);
    two.Send(kRequest);
    one.Send(kRequest);
    EXPECT_EQ(two.Receive(4, 3000), kStatusB);
    EXPECT_EQ(one.Receive(4, 3000), kStatusA);
    EXPECT_EQ(form_->tcpServer1->Tag(), " 0");
    EXPECT_EQ(form_->tcpServer2->Tag(), " 1");
}

TEST_F(StatusServerTest, AnythingButExactlyOneRequestGetsNoAnswer)
{
    StatusClient client(port1_);
    client.Send(std::string("\x1D", 1));
    EXPECT_EQ(client.ReceiveFor(300), "") << "first half of a split request";
    client.Send(std::string("\x61\x01", 2));
    EXPECT_EQ(client.ReceiveFor(300), "") << "second half of a split request";
    client.Send(kRequest + kRequest);
    EXPECT_EQ(client.ReceiveFor(300), "") << "two requests in one read";
    client.Send(kRequest + "x");
    EXPECT_EQ(client.ReceiveFor(300), "") << "a request with a trailing byte";
    client.Send(std::string("\x1D\x41\x01", 3));
    EXPECT_EQ(client.ReceiveFor(300), "") << "a request in another letter case";
    client.Send(kRequest);
    EXPECT_EQ(client.Receive(4, 3000), kStatusA) << "the connection is still served";
}

TEST_F(StatusServerTest, BeforeTheFirstGoodPollARequestGetsNothing)
{
    form_->PrinterTable[0].StatusBytes.clear();
    StatusClient client(port1_);
    client.Send(kRequest);
    EXPECT_EQ(client.ReceiveFor(400), "");
    EXPECT_FALSE(client.ClosedWithin(100));
}

TEST_F(StatusServerTest, AClientIsDroppedFiveSecondsAfterTheAcceptAndThePortListensAgain)
{
    StatusClient client(port1_);
    ASSERT_TRUE(PumpUntil([&] { return form_->tcpServer1->State() == sckConnected; }));
    EXPECT_TRUE(form_->Timer1->isActive());
    EXPECT_EQ(form_->Timer1->interval(), 5000);
    EXPECT_FALSE(client.ClosedWithin(4000)) << "dropped early";
    EXPECT_TRUE(client.ClosedWithin(2500)) << "not dropped about five seconds after the accept";
    EXPECT_EQ(form_->tcpServer1->State(), sckListening);
    EXPECT_FALSE(form_->Timer1->isActive());

    StatusClient next(port1_);
    ASSERT_TRUE(next.Connected());
    next.Send(kRequest);
    EXPECT_EQ(next.Receive(4, 3000), kStatusA);
}

TEST_F(StatusServerTest, ASecondClientIsRefusedWhileOneIsServedAndTheOtherServerGoesOn)
{
    StatusClient first(port1_);
    ASSERT_TRUE(PumpUntil([&] { return form_->tcpServer1->State() == sckConnected; }));
    StatusClient second(port1_);
    EXPECT_FALSE(second.Connected());

    StatusClient other(port2_);
    other.Send(kRequest);
    EXPECT_EQ(other.Receive(4, 3000), kStatusB);
    first.Send(kRequest);
    EXPECT_EQ(first.Receive(4, 3000), kStatusA);
}

TEST_F(StatusServerTest, AClientClosingEarlyLetsTheServerListenAgainAtOnce)
{
    {
        StatusClient client(port1_);
        ASSERT_TRUE(PumpUntil([&] { return form_->tcpServer1->State() == sckConnected; }));
    }
    ASSERT_TRUE(PumpUntil([&] { return form_->tcpServer1->State() == sckListening; }, 2000));
    EXPECT_FALSE(form_->Timer1->isActive()) << "the timer must not fire for a connection that has ended";
    StatusClient next(port1_);
    ASSERT_TRUE(next.Connected());
    next.Send(kRequest);
    EXPECT_EQ(next.Receive(4, 3000), kStatusA);
}

TEST_F(StatusServerTest, ARequestFollowedAtOnceByACloseIsStillAnswered)
{
    // The request and the close both reach the server before it accepts.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port1_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    send(fd, kRequest.data(), kRequest.size(), 0);
    shutdown(fd, SHUT_WR);
    std::string answer;
    ASSERT_TRUE(PumpUntil([&] {
        char buffer[16];
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            answer.append(buffer, static_cast<size_t>(n));
        return answer.size() >= 4;
    }, 3000));
    close(fd);
    EXPECT_EQ(answer, kStatusA);
    ASSERT_TRUE(PumpUntil([&] { return form_->tcpServer1->State() == sckListening; }, 2000));

    // A tick of the connection timer on a listening server binds and listens again.
    form_->Timer1->start(1);
    ASSERT_TRUE(PumpUntil([&] { return !form_->Timer1->isActive(); }, 2000));
    EXPECT_EQ(form_->tcpServer1->State(), sckListening);
    StatusClient next(port1_);
    next.Send(kRequest);
    EXPECT_EQ(next.Receive(4, 3000), kStatusA);
}

TEST_F(StatusServerTest, OnlyTheFirstTwoPrintersWithAValidPortAreServed)
{
    const int32_t port3 = FreeLoopbackPort();
    Load("[General]\nPrinters=4\n"
         "[Printer1]\nPort=-1\nStatusServerSocket=0\n"
         "[Printer2]\nPort=-1\nStatusServerSocket=" + std::to_string(port1_) + "\n"
         "[Printer3]\nPort=-1\nStatusServerSocket=" + std::to_string(port2_) + "\n"
         "[Printer4]\nPort=-1\nStatusServerSocket=" + std::to_string(port3) + "\n");
    EXPECT_EQ(form_->tcpServer1->Tag(), " 1");
    EXPECT_EQ(form_->tcpServer2->Tag(), " 2");
    EXPECT_EQ(form_->lblPrinterPort[0]->Caption(), "USB");
    EXPECT_EQ(form_->lblPrinterPort[3]->Caption(), "USB [" + std::to_string(port3) + "]");
    StatusClient unserved(port3);
    EXPECT_FALSE(unserved.Connected());
    form_->PrinterTable[1].StatusBytes = kStatusB;
    StatusClient served(port1_);
    served.Send(kRequest);
    EXPECT_EQ(served.Receive(4, 3000), kStatusB);
}

TEST_F(StatusServerTest, AServerWithoutAPrinterStaysClosed)
{
    Load("[Printer1]\nPort=-1\n");
    EXPECT_EQ(form_->tcpServer1->State(), sckClosed);
    EXPECT_EQ(form_->tcpServer2->State(), sckClosed);
    EXPECT_EQ(form_->tcpServer1->Tag(), "");
}

// Holds a loopback port the way another program would.
class PortHolder {
public:
    explicit PortHolder(int32_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 1);
    }
    ~PortHolder() { close(fd_); }

private:
    int fd_;
};

TEST(StatusServerStartupTest, APortHeldByAnotherProgramStopsTheLoad)
{
    const int32_t port = FreeLoopbackPort();
    PortHolder holder(port);
    TempDir dir;
    dir.Write("q.ini", "[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(port) + "\n");
    frmMain form(dir.File("q.ini"));
    try {
        form.Form_Load();
        FAIL() << "the load went on";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 10048);
        EXPECT_EQ(e.Description(), "Address already in use.");
    }
}

TEST(StatusServerStartupTest, APortHeldByAnotherProgramEndsTheMonitorWithTheSocketError)
{
    const int32_t port = FreeLoopbackPort();
    PortHolder holder(port);
    TempDir dir;
    dir.Write("StatusMonitorQ62m.ini", "[Printer1]\nPort=-1\nStatusServerSocket=" + std::to_string(port) + "\n");
    ProgramRun run(dir);
    run.Start();
    ASSERT_TRUE(run.WaitForExit(15000));
    EXPECT_GT(run.ExitCode(), 0);
    EXPECT_NE(run.StandardError().find("Address already in use."), std::string::npos);
}

}  // namespace
