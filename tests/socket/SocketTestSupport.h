#pragma once

#include "core/RuntimeError.h"
#include "socket/CNetSocket.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Pumps the event loop until `done` holds or `timeoutMs` passes; answers
// whether it holds.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Pumps the event loop for `ms` milliseconds, whatever arrives.
void PumpFor(int ms);

// A loopback port that nobody listens on: bound once, then released.
int32_t UnusedLoopbackPort();

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

std::vector<ErrorRecord>& RecordErrors(CNetSocket& socket, std::vector<ErrorRecord>& errors);

// Expects exactly one Error event, with this number and source, and the
// socket in sckError after it.
void ExpectOneError(const std::vector<ErrorRecord>& errors, const CNetSocket& socket, int16_t number,
                    const std::string& source);

// Runs `step` and answers the RuntimeError it raised, or one with number 0
// when it raised none.
RuntimeError CaughtError(const std::function<void()>& step);

#define EXPECT_RUNTIME_ERROR(step, number, source)                \
    do {                                                          \
        RuntimeError caught = CaughtError([&] { step; });         \
        EXPECT_EQ(caught.Number(), (number)) << #step;            \
        EXPECT_EQ(caught.Source(), (source)) << #step;            \
    } while (false)

// A listener on 127.0.0.1 and a client connected to it, with the accepted
// end of the connection in `server`.
class ConnectedPair : public ::testing::Test {
protected:
    void SetUp() override;

    CNetSocket listener;
    CNetSocket client;
    CNetSocket server;
};
