#pragma once

#include <QColor>
#include <cstdint>

// The two unit conversions of the window layout, each in one place.

// Twips to pixels at 15 twips per pixel (96 dots per inch).
constexpr int TwipsToPixels(int twips)
{
    return twips / 15;
}

// A colour in the 0x00BBGGRR order to a Qt colour.
inline QColor FromWinColor(uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// A red, green, blue triple to the 0x00BBGGRR order.
constexpr uint32_t WinRGB(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

// The colours of the status display, in the 0x00BBGGRR order.
namespace Palette {
constexpr uint32_t kRed = WinRGB(255, 0, 0);
constexpr uint32_t kYellow = WinRGB(255, 255, 0);
// Half-intensity green, the colour of "Ok".
constexpr uint32_t kGreen = WinRGB(0, 128, 0);
constexpr uint32_t kWhite = WinRGB(255, 255, 255);
constexpr uint32_t kBlack = WinRGB(0, 0, 0);
constexpr uint32_t kTitleGrey = WinRGB(64, 64, 64);
constexpr uint32_t kMessageGrey = WinRGB(128, 128, 128);
}  // namespace Palette
