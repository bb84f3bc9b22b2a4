#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class clsTrayIcon;
class TrayMainWindow;

// The tray window: the program's first window, never shown. It owns the
// tray icon object SysTray and the icon's pop-up menu (Show, a separator,
// Exit), receives the icon's notifications as mouse-move messages, and
// carries the fault picture as its own icon. Its load loads the main window
// and shows it and hides it again; the main window's unload unloads it.
// The entry creates it beside the main window, which outlives it.
// User-interface thread only.
class frmSysTray : public QWidget {
    Q_OBJECT
public:
    explicit frmSysTray(TrayMainWindow& mainWindow);
    ~frmSysTray() override;

    // Puts the icon into the notification area and loads the main window.
    // Returns false when the main window's load fails after showing its
    // message; a RuntimeError from that load passes through. Either way no
    // icon is left behind.
    bool Form_Load();

    // Ends SysTray, which removes the icon.
    void Form_Unload();

    // Every mouse message of the window: forwarded to SysTray, X as the
    // notification code.
    void Form_MouseMove(int16_t button, int16_t shift, float x, float y);

    // A pop-up menu item was chosen: "Show" makes the main window visible,
    // "Exit" shows it and unloads it, any other caption does nothing.
    void mnuPopup_Click(int16_t index);

    // The tray icon object, from the load to the unload.
    std::unique_ptr<clsTrayIcon> SysTray;

    // The pop-up menu and its items, by index.
    QMenu* mnuSysTray = nullptr;
    std::vector<QAction*> mnuPopup;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void SysTray_DoubleClick();
    void SysTray_RightClick();
    void DisconnectMainWindow();
    bool NotificationAreaMissing();
    void NotificationAreaChanged();

    TrayMainWindow& main_;
};
