#pragma once

#include <cstdint>

// The notifications of the socket layer as messages: their numbers, the
// event codes of a socket message and how codes are packed into lParam.
constexpr int32_t kMsgHostLookup = 0x8000;  // wParam: look-up handle; lParam high word: error
constexpr int32_t kMsgSocketEvent = 0x8001;  // wParam: socket; lParam: event | error << 16

constexpr uint16_t FD_READ = 1;
constexpr uint16_t FD_WRITE = 2;
constexpr uint16_t FD_ACCEPT = 8;
constexpr uint16_t FD_CONNECT = 16;
constexpr uint16_t FD_CLOSE = 32;

constexpr int32_t PackEventParam(uint16_t event, uint16_t error)
{
    return static_cast<int32_t>((static_cast<uint32_t>(error) << 16) | event);
}

constexpr uint16_t EventOfParam(int32_t lParam)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(lParam) & 0xFFFF);
}

constexpr uint16_t ErrorOfParam(int32_t lParam)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(lParam) >> 16);
}
