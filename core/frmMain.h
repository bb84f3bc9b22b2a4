#pragma once

#include "core/MonitorHost.h"
#include "core/MonitorServers.h"
#include "core/StatusColumns.h"
#include "server/MonitorMetrics.h"
#include "printer/PrinterContext.h"
#include "server/StatusStore.h"
#include "tray/TrayMainWindow.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class LabelControl;
class MetricsServer;
class LineControl;
class MSComm;
class CNetSocket;
class DesktopNotification;
class QPlainTextEdit;
class QTimer;
class StatusServer;
class UsbLibrary;

// The main window: the monitor's centre. It owns the printer table, the
// monitor-wide state and every control of the status display (one column
// of labels and frame lines per printer, and the terminal box Text1 below
// the visible area). Its load reads the configuration and lays out the
// columns. It is the printer context that the printer link works on and
// the store its status servers answer from, and hands itself to both.
// Everything runs on the user-interface thread.
class frmMain : public TrayMainWindow, public PrinterContext, public StatusStore {
    Q_OBJECT
public:
    // `iniPath` is the configuration file; the file beside the executable
    // unless a test names another one.
    explicit frmMain(std::string iniPath);
    ~frmMain() override;

    // The load, run once before the window is first shown. Returns false
    // when the configuration file cannot be opened (the message has been
    // shown); raises RuntimeError when a value cannot be converted, does not
    // fit, or more printers are configured than can be laid out.
    bool Form_Load() override;

    // The activation: turns Tab stops off and runs the monitor loop, once for
    // the whole run however often the window becomes active; when the loop
    // returns, the program ends.
    void Form_Activate();

    // Set by the entry once the start-up sequence has ended; from then on
    // the window's activation runs Form_Activate.
    bool StartUpEnded = false;

    // What the program ends with once the unload has run: 0, or
    // kExitLoopFailed after an error escaped the monitor loop.
    static constexpr int kExitLoopFailed = 70;
    int ExitCode = 0;

    // Shows the monitor's state in the tray icon, through TrayPictureSink
    // once the tray window has connected it.
    void ShowTrayPicture(TrayPicture picture);

    // The poll the monitor loop runs for each printer: PollPrinter unless a
    // test gives another.
    std::function<bool(frmMain&, int16_t)> Poll;

    // Asked before the unload: the close box (mode 0) only hides the window,
    // or minimises it when CloseBoxMinimises, and sets `cancel`; every other
    // mode lets the unload go ahead.
    void Form_QueryUnload(int16_t& cancel, int16_t unloadMode);

    // Unloads the window for `unloadMode` unless Form_QueryUnload cancels;
    // true when it unloaded.
    bool Unload(int16_t unloadMode) override;

    // The unload: stops the monitor loop, closes the printer link and the
    // sockets, unloads the tray window and raises Unloaded. Runs once; later
    // calls have no effect.
    void Form_Unload();

    // Whether the user can see the window: shown, not minimised, and not put
    // away with the close box since the program last brought it into view.
    // The program keeps that record itself: a Wayland compositor tells
    // nobody that it minimised a window, and Qt reports it restored at once.
    // A window the user restored through the desktop still counts as put
    // away: the alarm shows it anew, which costs nothing but a redraw.
    bool InView() const { return isVisible() && !isMinimized() && !putAwayByUser_; }

    // Makes the window visible for the tray's Show and a double-click on the
    // icon (or a StatusNotifierItem host's Activate): shown, restored from
    // minimised (keeping its place and size), raised and activated.
    void BringIntoView() override;

    // Makes the window visible for the fault alarm as BringIntoView does,
    // but leaves the keyboard focus with the application in front.
    void ShowWithoutActivating();

    // The fault alarm's way into view: ShowWithoutActivating, or where
    // showing a window would take the keyboard (Wayland), a notice of the
    // session's notification service whose click opens the window. Without
    // such a service the window is shown all the same: the fault must reach
    // the screen.
    void ShowFaultAlarm();

    // Outer size in twips, as the layout gives it; the client area is
    // smaller by the frame and caption.
    int16_t Width() const { return widthTwips_; }
    int16_t Height() const { return heightTwips_; }
    void SetWidth(int16_t twips);
    void SetHeight(int16_t twips);

    // Monitor-wide state beside the printer context's.
    int16_t PrinterCount = 0;
    int16_t UpdateInterval = 0;

    // The status columns beside the status rows of the printer context.
    StatusColumns Columns{*this, *this};

    // Counts since start and what the polls found, for the metrics endpoint.
    MonitorMetrics Metrics;

    // The status servers and the metrics endpoint, from the load to the
    // unload.
    MonitorServers Servers{*this, *this, Metrics};

    // The monitor loop's view of the window.
    MonitorHost LoopHost();

    const std::string& StoredStatus(int16_t index) const override;
    void StatusRequestAnswered(int32_t port) override;

signals:
    // The unload has ended: links, sockets and the tray icon are released.
    void Unloaded();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplySize();

    std::string iniPath_;
    void CreateSockets();
    void ReleaseSockets();

    // Made at the first alarm that needs it.
    DesktopNotification* faultNotice_ = nullptr;
    bool putAwayByUser_ = false;
    bool activated_ = false;
    bool unloaded_ = false;
    int16_t widthTwips_ = 0;
    int16_t heightTwips_ = 0;
};
