#pragma once

#include "tray/NotifyIconData.h"
#include "tray/TrayShell.h"

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

class QImage;
class QWidget;

// One icon in the desktop's notification area, kept on behalf of a host
// window: it adds the icon, changes its picture, tooltip and balloon
// message, removes it when the object ends, and turns the notifications
// that the host window passes to MouseMove into its six events. Every call
// to the notification area goes through one record kept for the object's
// life (NotifyIconData) and the shell (TrayShell). The program has one, the
// tray window's SysTray; the monitor loop switches its picture through the
// main window. User-interface thread only.
class clsTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit clsTrayIcon(std::unique_ptr<TrayShell> shell = std::make_unique<TrayShell>());
    // The end of the object removes the icon.
    ~clsTrayIcon() override;

    clsTrayIcon(const clsTrayIcon&) = delete;
    clsTrayIcon& operator=(const clsTrayIcon&) = delete;

    // Adds the icon for `host`, which receives its notifications, with the
    // host's own icon as picture and `tooltip`. Called once, first.
    void Init(QWidget* host, const std::string& tooltip);

    // Shows the icon of `window` in the notification area.
    void SetIcon(const QWidget* window);

    // The tooltip last set; setting it shows it, cut at its field's end.
    const std::string& TooltipText() const { return tooltip_; }
    void SetTooltipText(const std::string& tooltip);

    // A balloon message. `iconKind`: 0 none, 1 information, 2 warning,
    // 3 error. Texts are cut at their fields' ends; the time in
    // milliseconds is rounded to a 32-bit integer (an overflow raises
    // run-time error 6).
    void ShowBalloonTip(const std::string& message, int32_t iconKind = 0, const std::string& title = {},
                        double timeoutMs = 30000);

    // Shows what has been drawn on `picture`: fully opaque for
    // `transparentColor` -1, otherwise as a 32 x 32 icon from the picture's
    // top-left corner in which the pixels of that 0x00BBGGRR colour are
    // transparent. A picture that gives no icon leaves the shown one as it
    // was.
    void DrawIcon(const QImage& picture, int32_t transparentColor = -1);

    // The host window's mouse-move handler passes every X it receives: the
    // notification code. Raises the event of that code; any other code
    // raises nothing. `button` and `host` are not used.
    void MouseMove(int16_t& button, int32_t x, QWidget* host);

    TrayShell& Shell() { return *shell_; }

signals:
    void LeftClick();
    void RightClick();
    void DoubleClick();
    void BalloonHide();
    void BalloonTimeOut();
    void BalloonClicked();

private:
    void RefreshIcon();
    static QIcon MakeIcon(const QImage& bitmap);
    static QIcon MakeTransparentIcon(const QImage& bitmap, int32_t color);
    static QImage MakeMask(const QImage& bitmap, int32_t color);

    std::unique_ptr<TrayShell> shell_;
    NotifyIconData record_;
    std::string tooltip_;
};
