#pragma once

#include "platform/SocketCalls.h"
#include "socket/CNetSocket.h"
#include "support/RuntimeErrors.h"
#include "support/StatusClient.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// What the owner learns of an Error event.
struct ErrorRecord {
    int16_t number;
    std::string description;
    std::string source;
    bool cancelDisplay;
};

inline void RecordErrors(CNetSocket& socket, std::vector<ErrorRecord>& errors)
{
    socket.Events.Error = [&errors](int16_t number, std::string& description, int32_t, const std::string& source,
                                    const std::string&, int32_t, bool& cancelDisplay) {
        errors.push_back({number, description, source, cancelDisplay});
    };
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

// A listener on 127.0.0.1 that takes every connection into `accepted`, and
// a client whose Error events are recorded; ConnectClient connects it.
class ListenerOnLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.Events.ConnectionRequest = [this](int32_t requestID) {
            ++requests;
            accepted.Accept(requestID);
        };
        listener.Bind(0, "127.0.0.1");
        listener.Listen();
        RecordErrors(client, errors);
    }

    void TearDown() override { SocketCalls::ClearFailures(); }

    void ConnectClient()
    {
        client.Connect("127.0.0.1", listener.LocalPort());
        ASSERT_TRUE(PumpUntil([this] { return client.State() == sckConnected && accepted.State() == sckConnected; }));
    }

    CNetSocket listener;
    CNetSocket accepted;
    CNetSocket client;
    std::vector<ErrorRecord> errors;
    int requests = 0;
};
