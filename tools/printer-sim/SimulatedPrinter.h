#pragma once

#include "runtime/PrinterProtocol.h"
#include "tools/printer-sim/HexText.h"

#include <string>

// The conditions a Q62M reports in the first two bytes of its answer.
using Fault = PrinterProtocol::ConditionIndex;

// How the printer treats a status request, beside answering it properly.
enum class Behaviour {
    Normal,
    Silent,   // reads requests, never answers
    Delay,    // answers each request late
    HangUp,   // closes each connection at once without answering
    Early,    // the answer's second byte is the terminator
    Garbage,  // answers bytes that contain no terminator
};

// What the printer does about one request.
struct Reply {
    enum class Kind { Answer, Nothing, HangUp } kind = Kind::Answer;
    Bytes bytes;
    int delayMs = 0;
};

// One simulated Q62M: the answer it gives now, how it misbehaves and whether
// it takes connections. PrinterSimulator owns one per served printer, changes
// it by the user's commands and asks it how to treat each request.
class SimulatedPrinter {
public:
    static constexpr uint8_t kTerminator = static_cast<uint8_t>(PrinterProtocol::kAnswerEnd);
    static constexpr int kMaxRawBytes = 64;
    static constexpr int kMaxGarbageBytes = 65536;

    explicit SimulatedPrinter(std::string name);

    const std::string& Name() const { return name_; }

    // Sets or clears one condition; conditions add up until cleared.
    void SetFault(Fault fault, bool on);
    // Back to the answer of a printer with nothing to report: 00 00 00 F0.
    void AllWell();
    // Answers exactly `bytes` from now on; conditions set later change its
    // first two bytes.
    void SetRaw(Bytes bytes);
    // `amount` is the delay in ms for Delay and the byte count for Garbage.
    void SetBehaviour(Behaviour behaviour, int amount = 0);
    void SetListening(bool listening) { listening_ = listening; }

    bool Listening() const { return listening_; }
    bool HangsUpOnConnect() const { return behaviour_ == Behaviour::HangUp; }
    const Bytes& Answer() const { return answer_; }

    Reply ReplyToRequest() const;

    // "01 00 00 F0 (delay 300 ms, listening)": the state a user checks.
    std::string Describe() const;

private:
    Bytes EarlyAnswer() const;
    Bytes GarbageAnswer() const;
    std::string DescribeBehaviour() const;

    std::string name_;
    Bytes answer_;
    Behaviour behaviour_ = Behaviour::Normal;
    int amount_ = 0;
    bool listening_ = true;
};
