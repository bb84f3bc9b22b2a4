#include "tray/clsTrayIcon.h"

#include "runtime/Conversions.h"

#include "runtime/RuntimeError.h"
#include "platform/ProgramInfo.h"
#include "platform/Units.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cmath>

namespace {

// The icon size of the transparent-colour path; only this much of the
// picture's top-left corner counts.
constexpr int kIconSide = 32;

}  // namespace

clsTrayIcon::clsTrayIcon(std::unique_ptr<TrayShell> shell) : shell_(std::move(shell))
{
}

clsTrayIcon::~clsTrayIcon()
{
    shell_->NotifyIcon(NIM_DELETE, record_);
}

void clsTrayIcon::Init(QWidget* host, const std::string& tooltip)
{
    // The add carries only the callback message; picture and tooltip follow
    // as two changes.
    record_.hWnd = host;
    record_.hIcon = host->windowIcon();
    record_.uID = 1;
    record_.uFlags = NIF_MESSAGE;
    record_.uCallbackMessage = WM_MOUSEMOVE;
    shell_->NotifyIcon(NIM_ADD, record_);
    SetIcon(host);
    SetTooltipText(tooltip);
}

void clsTrayIcon::SetIcon(const QWidget* window)
{
    record_.hIcon = window->windowIcon();
    RefreshIcon();
}

void clsTrayIcon::RefreshIcon()
{
    record_.uFlags = NIF_ICON;
    shell_->NotifyIcon(NIM_MODIFY, record_);
}

void clsTrayIcon::SetTooltipText(const std::string& tooltip)
{
    tooltip_ = tooltip;
    SetField(record_.szTip, tooltip);
    record_.uFlags = NIF_TIP;
    shell_->NotifyIcon(NIM_MODIFY, record_);
}

void clsTrayIcon::ShowBalloonTip(const std::string& message, int32_t iconKind, const std::string& title,
                                 double timeoutMs)
{
    SetField(record_.szInfo, message);
    SetField(record_.szInfoTitle, title);
    record_.uTimeout = static_cast<uint32_t>(RoundToInt32(timeoutMs));
    record_.dwInfoFlags = static_cast<uint32_t>(iconKind);
    record_.uFlags = NIF_INFO;
    shell_->NotifyIcon(NIM_MODIFY, record_);
}

void clsTrayIcon::DrawIcon(const QImage& picture, int32_t transparentColor)
{
    record_.hIcon = transparentColor >= 0 ? MakeTransparentIcon(picture, transparentColor) : MakeIcon(picture);
    if (!record_.hIcon.isNull())
        RefreshIcon();
}

void clsTrayIcon::MouseMove(int16_t& button, int32_t x, QWidget* host)
{
    static_cast<void>(button);
    static_cast<void>(host);
    switch (x) {
    case WM_LBUTTONUP:
        emit LeftClick();
        break;
    case WM_RBUTTONUP:
        emit RightClick();
        break;
    case WM_LBUTTONDBLCLK:
        emit DoubleClick();
        break;
    case NIN_BALLOONHIDE:
        emit BalloonHide();
        break;
    case NIN_BALLOONTIMEOUT:
        emit BalloonTimeOut();
        break;
    case NIN_BALLOONUSERCLICK:
        emit BalloonClicked();
        break;
    default:
        break;
    }
}

// The whole picture, every pixel opaque.
QIcon clsTrayIcon::MakeIcon(const QImage& bitmap)
{
    if (bitmap.isNull())
        return {};
    return QIcon(QPixmap::fromImage(bitmap.convertToFormat(QImage::Format_RGB32)));
}

// The picture's top-left 32 x 32 pixels (black beyond a smaller picture's
// edge) with every pixel of `color` made transparent.
QIcon clsTrayIcon::MakeTransparentIcon(const QImage& bitmap, int32_t color)
{
    if (bitmap.isNull())
        return {};
    const QImage colorPart = bitmap.convertToFormat(QImage::Format_RGB32).copy(0, 0, kIconSide, kIconSide);
    const QImage mask = MakeMask(colorPart, color);
    QImage icon = colorPart.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < kIconSide; ++y)
        for (int x = 0; x < kIconSide; ++x)
            if (mask.pixelIndex(x, y) == 1)
                icon.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QIcon(QPixmap::fromImage(icon));
}

// One bit per pixel: 1 where the picture has `color`, 0 elsewhere.
QImage clsTrayIcon::MakeMask(const QImage& bitmap, int32_t color)
{
    const QRgb key = FromWinColor(static_cast<uint32_t>(color) & 0xFFFFFF).rgb();
    return bitmap.createMaskFromColor(key, Qt::MaskInColor);
}
