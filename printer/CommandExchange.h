#pragma once

#include <string>

class frmMain;

// The command/response exchange over whichever printer link is open.

// The status request and the end of its answer.
inline const std::string kStatusCommand("\x1D\x61\x01", 3);
constexpr char kReplyTerminator = '\xF0';
constexpr float kReplyTimeoutSeconds = 5.0f;

// Sends `command` over the open link and gathers the reply up to and
// including `terminator`, waiting at most `timeoutSeconds`. Returns the
// reply, or empty text after a time-out or an abort.
std::string SendAndWait(frmMain& form, const std::string& command, char terminator, float timeoutSeconds);
