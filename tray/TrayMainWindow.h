#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

// The two pictures of the tray icon.
enum class TrayPicture { Normal, Fault };

// The main window as the tray window sees it: its load, its window (whose
// icon is the all-well picture), bringing it into view, its unload, and the
// hooks through which it shows its state in the tray and has the tray
// window unloaded. The main window is one; the tray window reaches it only
// through this.
class TrayMainWindow : public QWidget {
public:
    using QWidget::QWidget;

    // Why the window is asked to unload.
    static constexpr int16_t kUnloadControlMenu = 0;  // the user's close box
    static constexpr int16_t kUnloadFormCode = 1;     // the program's own code
    static constexpr int16_t kUnloadAppWindows = 2;   // the session or the system ends
    static constexpr int16_t kUnloadTaskManager = 3;  // another program ends this one

    // The load; false when the configuration cannot be opened (the message
    // has been shown). A RuntimeError from the load passes through.
    virtual bool Form_Load() = 0;

    // Shown, restored from minimised, raised and activated: the user asked.
    virtual void BringIntoView() = 0;

    // Unloads the window for `unloadMode` unless its query cancels; true
    // when it unloaded.
    virtual bool Unload(int16_t unloadMode) = 0;

    // Set by the tray window's load: the picture the tray shows, and the
    // unload's last step. Cleared by its unload.
    std::function<void(TrayPicture)> TrayPictureSink;
    std::function<void()> UnloadTrayWindow;

    // Set when the desktop has no notification area to bring a hidden
    // window back: the close box minimises instead of hiding.
    bool CloseBoxMinimises = false;
};
