#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The Q62M's status protocol, the one thing every part of the monitor and
// its tools agree on: the request, the byte that ends each answer, and the
// nine conditions that the answer's first two bytes carry. The poll sends
// the request and decodes the answer, the status servers take the same
// request from their clients, the metrics page names the conditions, and
// the printer simulator and the benchmarks play either side.
namespace PrinterProtocol {

// GS 'a' 1: asks a printer for its four status bytes, and a status server
// for the ones it stored.
inline constexpr std::string_view kStatusRequest{"\x1D\x61\x01", 3};

// Ends every answer; a good answer is three bytes other than it, then it.
inline constexpr char kAnswerEnd = '\xF0';

// The answer of a printer with nothing to report.
inline constexpr std::string_view kAllWell{"\x00\x00\x00\xF0", 4};

// The conditions, by the index of kConditions.
enum ConditionIndex : size_t {
    PaperLow,
    HeadOpen,
    PaperEmpty,
    OverTemperature,
    CutterError,
    PaperHeld,
    PaperJam,
    PresenterJam,
    LoadError,
};

struct Condition {
    // As the metrics page names it.
    const char* name;
    // Byte 0 or byte 1 of the answer, and the condition's bit in it.
    size_t byte;
    uint8_t mask;
    // Raises the alarm. Paper low does, though it is no red state; a ticket
    // held in the presenter, waiting to be taken, does not.
    bool fault;
};

inline constexpr std::array<Condition, 9> kConditions{{
    {"paper_low", 0, 0x01, true},
    {"head_open", 0, 0x02, true},
    {"paper_empty", 0, 0x04, true},
    {"over_temperature", 0, 0x08, true},
    {"cutter_error", 0, 0x10, true},
    {"paper_held", 1, 0x01, false},
    {"paper_jam", 1, 0x02, true},
    {"presenter_jam", 1, 0x04, true},
    {"load_error", 1, 0x10, true},
}};

// Whether the answer's first two bytes carry the condition.
inline bool Carries(uint8_t byte0, uint8_t byte1, ConditionIndex index)
{
    const Condition& condition = kConditions[index];
    return ((condition.byte == 0 ? byte0 : byte1) & condition.mask) != 0;
}

}  // namespace PrinterProtocol
