#include "SocketTestSupport.h"

#include "platform/EventPump.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        WaitForEvents(10);
    }
    return true;
}

void PumpFor(int ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline)
        WaitForEvents(10);
}

int32_t UnusedLoopbackPort()
{
    CNetSocket probe;
    probe.Bind(0, "127.0.0.1");
    int32_t port = probe.LocalPort();
    probe.CloseSck();
    return port;
}

std::vector<ErrorRecord>& RecordErrors(CNetSocket& socket, std::vector<ErrorRecord>& errors)
{
    socket.Events.Error = [&errors](int16_t number, std::string& description, int32_t sCode,
                                    const std::string& source, const std::string& helpFile, int32_t helpContext,
                                    bool& cancelDisplay) {
        errors.push_back({number, description, sCode, source, helpFile, helpContext, cancelDisplay});
    };
    return errors;
}

void ExpectOneError(const std::vector<ErrorRecord>& errors, const CNetSocket& socket, int16_t number,
                    const std::string& source)
{
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front().number, number);
    EXPECT_EQ(errors.front().source, source);
    EXPECT_EQ(socket.State(), sckError);
}

RuntimeError CaughtError(const std::function<void()>& step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error;
    }
    return RuntimeError(0, "", "");
}

void ConnectedPair::SetUp()
{
    listener.Events.ConnectionRequest = [this](int32_t requestID) { server.Accept(requestID); };
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    client.Connect("127.0.0.1", listener.LocalPort());
    ASSERT_TRUE(PumpUntil([this] { return client.State() == sckConnected && server.State() == sckConnected; }));
}
