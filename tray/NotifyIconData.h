#pragma once

#include <QIcon>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class QWidget;

// Commands of the notification-area call.
constexpr uint32_t NIM_ADD = 0;
constexpr uint32_t NIM_MODIFY = 1;
constexpr uint32_t NIM_DELETE = 2;

// Field groups of the record; a call applies only the groups it names.
constexpr uint32_t NIF_MESSAGE = 1;
constexpr uint32_t NIF_ICON = 2;
constexpr uint32_t NIF_TIP = 4;
constexpr uint32_t NIF_INFO = 16;

// Notification codes that reach the host window in the place of the
// mouse-move message's X.
constexpr int32_t WM_MOUSEMOVE = 0x200;
constexpr int32_t WM_LBUTTONDOWN = 0x201;
constexpr int32_t WM_LBUTTONUP = 0x202;
constexpr int32_t WM_LBUTTONDBLCLK = 0x203;
constexpr int32_t WM_RBUTTONDOWN = 0x204;
constexpr int32_t WM_RBUTTONUP = 0x205;
constexpr int32_t WM_RBUTTONDBLCLK = 0x206;
constexpr int32_t WM_MBUTTONUP = 0x208;
constexpr int32_t NIN_BALLOONSHOW = 0x402;
constexpr int32_t NIN_BALLOONHIDE = 0x403;
constexpr int32_t NIN_BALLOONTIMEOUT = 0x404;
constexpr int32_t NIN_BALLOONUSERCLICK = 0x405;

// The one record that the tray icon object keeps for its whole life and
// hands to the notification area with every call. Texts are single-byte
// characters in fixed fields; a text that does not fit is cut at the
// field's end.
struct NotifyIconData {
    QWidget* hWnd = nullptr;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[128] = {};
    uint32_t dwState = 0;
    uint32_t dwStateMask = 0;
    char szInfo[256] = {};
    uint32_t uTimeout = 0;
    char szInfoTitle[64] = {};
    uint32_t dwInfoFlags = 0;
};

// Puts `text` followed by one NUL into `field`, cut at the field's end: a
// text as long as the field or longer fills it without a NUL.
template <size_t N>
void SetField(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

// The text a field holds: up to its first NUL, or the whole field.
template <size_t N>
std::string FieldText(const char (&field)[N])
{
    return std::string(field, std::find(field, field + N, '\0'));
}
