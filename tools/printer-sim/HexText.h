#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Bytes as the simulator's log shows them: two upper-case hex digits each,
// separated by single spaces ("1D 61 01").
std::string FormatHex(const Bytes& bytes);

// One byte written as one or two hex digits, with or without a leading "0x"
// ("F0", "f0", "0xF0", "7"). Empty when the word is not such a byte.
std::optional<uint8_t> ParseHexByte(const std::string& word);
