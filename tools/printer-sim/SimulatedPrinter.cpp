#include "tools/printer-sim/SimulatedPrinter.h"

namespace {

const Bytes kAllWell(PrinterProtocol::kAllWell.begin(), PrinterProtocol::kAllWell.end());

}  // namespace

SimulatedPrinter::SimulatedPrinter(std::string name)
    : name_(std::move(name)), answer_(kAllWell)
{
}

void SimulatedPrinter::SetFault(Fault fault, bool on)
{
    const PrinterProtocol::Condition& bit = PrinterProtocol::kConditions[fault];
    // A raw answer too short to hold the bit grows with zero bytes.
    if (answer_.size() <= bit.byte)
        answer_.resize(bit.byte + 1, 0x00);
    if (on)
        answer_[bit.byte] |= bit.mask;
    else
        answer_[bit.byte] &= static_cast<uint8_t>(~bit.mask);
}

void SimulatedPrinter::AllWell()
{
    answer_ = kAllWell;
}

void SimulatedPrinter::SetRaw(Bytes bytes)
{
    answer_ = std::move(bytes);
}

void SimulatedPrinter::SetBehaviour(Behaviour behaviour, int amount)
{
    behaviour_ = behaviour;
    amount_ = amount;
}

Reply SimulatedPrinter::ReplyToRequest() const
{
    switch (behaviour_) {
    case Behaviour::Normal: return {Reply::Kind::Answer, answer_, 0};
    case Behaviour::Silent: return {Reply::Kind::Nothing, {}, 0};
    case Behaviour::Delay: return {Reply::Kind::Answer, answer_, amount_};
    case Behaviour::HangUp: return {Reply::Kind::HangUp, {}, 0};
    case Behaviour::Early: return {Reply::Kind::Answer, EarlyAnswer(), 0};
    case Behaviour::Garbage: return {Reply::Kind::Answer, GarbageAnswer(), 0};
    }
    return {};
}

Bytes SimulatedPrinter::EarlyAnswer() const
{
    Bytes bytes = answer_;
    if (bytes.size() < 2)
        bytes.resize(2, 0x00);
    bytes[1] = kTerminator;
    return bytes;
}

Bytes SimulatedPrinter::GarbageAnswer() const
{
    // 11 22 33 ... FF 00 over and over: easy to recognise in a dump, and no
    // multiple of 0x11 is the terminator.
    Bytes bytes(static_cast<size_t>(amount_));
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(0x11 * ((i + 1) % 16));
    return bytes;
}

std::string SimulatedPrinter::Describe() const
{
    return FormatHex(answer_) + " (" + DescribeBehaviour() + ", "
        + (listening_ ? "listening" : "not listening") + ")";
}

std::string SimulatedPrinter::DescribeBehaviour() const
{
    switch (behaviour_) {
    case Behaviour::Normal: return "normal";
    case Behaviour::Silent: return "silent";
    case Behaviour::Delay: return "delay " + std::to_string(amount_) + " ms";
    case Behaviour::HangUp: return "close";
    case Behaviour::Early: return "early";
    case Behaviour::Garbage: return "garbage " + std::to_string(amount_) + " bytes";
    }
    return "";
}
