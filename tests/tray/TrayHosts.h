#pragma once

#include "tray/clsTrayIcon.h"
#include "tray/TrayShell.h"

#include <QMouseEvent>
#include <QWidget>
#include <utility>
#include <vector>

// A host window that passes every mouse message on to its tray icon, as
// the tray window does.
class ForwardingHost : public QWidget {
public:
    ForwardingHost() { setMouseTracking(true); }
    clsTrayIcon* tray = nullptr;

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        int16_t button = static_cast<int16_t>(event->buttons().toInt());
        if (tray)
            tray->MouseMove(button, static_cast<int32_t>(event->position().x()), this);
    }
};

// One call to the notification area.
struct ShellCall {
    uint32_t command;
    NotifyIconData record;
};

// A notification area on the desktop that also logs every call into a log
// that outlives it.
class RecordingShell : public TrayShell {
public:
    explicit RecordingShell(std::vector<ShellCall>& log) : TrayShell(true), log_(log) {}
    void NotifyIcon(uint32_t command, const NotifyIconData& record) override
    {
        log_.push_back({command, record});
        TrayShell::NotifyIcon(command, record);
    }

private:
    std::vector<ShellCall>& log_;
};
