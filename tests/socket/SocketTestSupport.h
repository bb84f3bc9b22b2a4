#pragma once

#include "socket/CNetSocket.h"
#include "support/RuntimeErrors.h"
#include "support/StatusClient.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// Every Error event that a socket raises.
struct ErrorRecord {
    int16_t number;
    std::string description;
    int32_t sCode;
    std::string source;
    std::string helpFile;
    int32_t helpContext;
    bool cancelDisplay;
};

inline std::vector<ErrorRecord>& RecordErrors(CNetSocket& socket, std::vector<ErrorRecord>& errors)
{
    socket.Events.Error = [&errors](int16_t number, std::string& description, int32_t sCode,
                                    const std::string& source, const std::string& helpFile, int32_t helpContext,
                                    bool& cancelDisplay) {
        errors.push_back({number, description, sCode, source, helpFile, helpContext, cancelDisplay});
    };
    return errors;
}

// Exactly one Error event with this number and source, and the socket in
// sckError after it.
inline void ExpectOneError(const std::vector<ErrorRecord>& errors, const CNetSocket& socket, int16_t number,
                           const std::string& source)
{
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front().number, number);
    EXPECT_EQ(errors.front().source, source);
    EXPECT_EQ(socket.State(), sckError);
}

// A listener on 127.0.0.1 and a client connected to it, with the accepted
// end of the connection in `server`.
class ConnectedPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.Events.ConnectionRequest = [this](int32_t requestID) { server.Accept(requestID); };
        listener.Bind(0, "127.0.0.1");
        listener.Listen();
        client.Connect("127.0.0.1", listener.LocalPort());
        ASSERT_TRUE(PumpUntil([this] { return client.State() == sckConnected && server.State() == sckConnected; }));
    }

    CNetSocket listener;
    CNetSocket client;
    CNetSocket server;
};
