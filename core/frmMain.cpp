#include "core/frmMain.h"

#include "core/Configuration.h"
#include "runtime/Conversions.h"
#include "core/MonitorLoop.h"
#include "runtime/ResumeNext.h"
#include "runtime/RuntimeError.h"
#include "socket/CNetSocket.h"
#include "platform/LabelControl.h"
#include "platform/MessageBox.h"
#include "platform/StandardError.h"
#include "platform/DesktopNotification.h"
#include "platform/Display.h"
#include "platform/MSComm.h"
#include "platform/UsbLibrary.h"
#include "printer/NetworkTransport.h"
#include "printer/PollPrinter.h"
#include "printer/PrinterLink.h"
#include "printer/SerialTransport.h"
#include "tray/TrayPictures.h"
#include "platform/Units.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <utility>
#include <algorithm>

namespace {

// The layout gives the window's outer size; the frame and caption take
// 75 twips of the width and 405 of the height around the client area
// (3315 x 3870 outside, 3240 x 3465 inside).
constexpr int kFrameWidthTwips = 75;
constexpr int kFrameHeightTwips = 405;

using namespace Palette;

}  // namespace

frmMain::frmMain(std::string iniPath)
    : TrayMainWindow(nullptr), Poll(PollPrinter), iniPath_(std::move(iniPath))
{
    Zorvadev = std::make_unique<UsbLibrary>();
    PollEnded = [this](int16_t index, bool answered, bool fault) { Metrics.RecordPoll(index, answered, fault); };
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, FromWinColor(kBlack));
    setPalette(p);
    setWindowIcon(AllWellPicture());
    // Showing the window never takes the keyboard from the application in
    // front; only the user's own actions activate it (BringIntoView). The
    // attribute counts when the native window is made, so it is set here.
    setAttribute(Qt::WA_ShowWithoutActivating);
    SetWidth(3315);
    SetHeight(3870);

    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(TwipsToPixels(120), TwipsToPixels(3480), TwipsToPixels(3015), TwipsToPixels(855));

    MSComm1 = std::make_unique<MSComm>();
}

frmMain::~frmMain() = default;

void frmMain::SetWidth(int16_t twips)
{
    widthTwips_ = twips;
    ApplySize();
}

void frmMain::SetHeight(int16_t twips)
{
    heightTwips_ = twips;
    ApplySize();
}

void frmMain::ApplySize()
{
    setFixedSize(TwipsToPixels(std::max(0, widthTwips_ - kFrameWidthTwips)),
                 TwipsToPixels(std::max(0, heightTwips_ - kFrameHeightTwips)));
}

void frmMain::CreateSockets()
{
    Winsock1 = std::make_unique<CNetSocket>();
    Servers.CreateSockets();
    WirePrinterLink(*this);
}

// Each close leaves its socket closed when it returns, or fails; no event
// could change that, so nothing waits for it. The printer socket goes
// first, then the status servers and the metrics endpoint.
void frmMain::ReleaseSockets()
{
    if (Winsock1) {
        if (Winsock1->State() > sckClosed)
            CloseSocket(*this);
        Winsock1.reset();
    }
    Servers.Release();
}

bool frmMain::Form_Load()
{
    setWindowTitle(QStringLiteral("Kelvaran Status Monitor Q62m"));
    SetHeight(3870);
    SetWidth(3315);

    CreateSockets();

    if (const std::string problem = Configuration::FileProblem(iniPath_); !problem.empty()) {
        ShowCriticalMessage(problem);
        return false;
    }

    const Configuration::General general = Configuration::ReadGeneral(iniPath_);
    PrinterCount = general.PrinterCount;
    UpdateInterval = general.UpdateInterval;
    Servers.CreateStatusServers(general.StatusServerAddress);
    PrinterTable.assign(static_cast<size_t>(PrinterCount), PrinterEntry{});

    // Each printer: its keys, its status server if it has a port, then its
    // column; more columns widen the window.
    for (int16_t i = 0; i < PrinterCount; ++i) {
        PrinterEntry& entry = PrinterTable[static_cast<size_t>(i)];
        Configuration::ReadPrinterIdentity(iniPath_, i, entry);
        if (!entry.StatusServerSocket.empty())
            Servers.AssignStatusServer(i, entry.StatusServerSocket);
        Configuration::ReadPrinterTransport(iniPath_, i, entry);
        const std::string caption = Configuration::PortLabelCaption(entry);
        if (i == 0) {
            Columns.lblPrinterPort[0]->SetCaption(caption);
        } else {
            SetWidth(CheckedInt16((int64_t{i} + 1) * StatusColumns::kColumnPitch + 240));
            Columns.AddColumn(i, caption);
        }
    }

    // Given to the serial port at every open.
    SerialOutBufferSize = 16384;
    SerialInBufferSize = 32764;
    RTSEnable = true;
    Servers.DescribePrinters(PrinterTable);
    const Configuration::Metrics endpoint = Configuration::ReadMetrics(iniPath_);
    if (endpoint.Port != 0)
        Servers.StartMetricsEndpoint(endpoint.Port, endpoint.Address);
    return true;
}

void frmMain::Form_Activate()
{
    // The host raises the activation again whenever the window comes back
    // into view; the monitor loop must run only once.
    if (activated_)
        return;
    activated_ = true;

    // The Tab key reaches no control.
    for (QWidget* child : findChildren<QWidget*>())
        child->setFocusPolicy(Qt::NoFocus);

    // The loop returns when a quit is asked for. An error escaping it ends
    // the program too, but not quietly: it is told, and the exit status
    // lets the service manager start the monitor again.
    try {
        MonitorLoop(LoopHost(), [this](int16_t index) { return Poll(*this, index); }).Run();
    } catch (const std::exception& error) {
        const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
        ReportLine("the monitor loop ended on an error: " + (runtime ? runtime->Message() : error.what()));
        ExitCode = kExitLoopFailed;
    }
    ResumeNext([this] { Form_Unload(); });
}

MonitorHost frmMain::LoopHost()
{
    return MonitorHost{[this] { return PrinterCount; },
                       [this] { return UpdateInterval; },
                       [this] { return QuitRequested; },
                       [this](TrayPicture picture) { ShowTrayPicture(picture); },
                       [this] { return InView(); },
                       [this] { ShowFaultAlarm(); },
                       [this] { ++Metrics.FaultEpisodes; }};
}

void frmMain::BringIntoView()
{
    ShowWithoutActivating();
    activateWindow();
}

void frmMain::ShowWithoutActivating()
{
    // A window manager gives the keyboard to a minimised window that is
    // mapped again, so a minimised window is withdrawn and shown anew; it
    // keeps its place and size. A Wayland compositor offers no other way
    // back for a window it minimised.
    if (isMinimized() || putAwayByUser_) {
        hide();
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    putAwayByUser_ = false;
    show();
    // Headless there is no stack of windows to raise.
    if (!IsOffscreenPlatform())
        raise();
}

void frmMain::ShowFaultAlarm()
{
    if (ShowingTakesKeyboard()) {
        if (!faultNotice_) {
            faultNotice_ = new DesktopNotification(this);
            connect(faultNotice_, &DesktopNotification::Activated, this, &frmMain::BringIntoView);
        }
        if (faultNotice_->Post(windowTitle(), QString::fromStdString(Columns.Summary())))
            return;
    }
    ShowWithoutActivating();
}

const std::string& frmMain::StoredStatus(int16_t index) const
{
    return PrinterTable.at(static_cast<size_t>(index)).StatusBytes;
}

void frmMain::StatusRequestAnswered(int32_t port)
{
    ++Metrics.StatusRequests[port];
}

void frmMain::ShowTrayPicture(TrayPicture picture)
{
    if (TrayPictureSink)
        TrayPictureSink(picture);
}

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // The monitor loop and a network send end at their next test.
    QuitRequested = true;
    ClosePort(*this);
    ReleaseSockets();
    // No file stays open after start-up. The tray window goes last, and with
    // it the tray icon.
    if (UnloadTrayWindow)
        UnloadTrayWindow();
    hide();
    QCoreApplication::quit();
    emit Unloaded();
}

void frmMain::Form_QueryUnload(int16_t& cancel, int16_t unloadMode)
{
    if (unloadMode != kUnloadControlMenu)
        return;
    // Monitoring goes on; the tray icon or the next fault brings the window
    // back.
    putAwayByUser_ = true;
    if (CloseBoxMinimises)
        showMinimized();
    else
        hide();
    cancel = 1;
}

bool frmMain::Unload(int16_t unloadMode)
{
    int16_t cancel = 0;
    Form_QueryUnload(cancel, unloadMode);
    if (cancel != 0)
        return false;
    Form_Unload();
    return true;
}

bool frmMain::event(QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
        // The loop runs from the event loop, not inside this handler.
        if (StartUpEnded && !activated_)
            QTimer::singleShot(0, this, &frmMain::Form_Activate);
    }
    return TrayMainWindow::event(event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // The program's own closes go through Unload, so a close event is the
    // user's close box.
    event->setAccepted(Unload(kUnloadControlMenu));
}
