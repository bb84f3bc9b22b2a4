#include "tray/frmSysTray.h"

#include "runtime/Conversions.h"
#include "platform/Display.h"
#include "tray/TrayMainWindow.h"
#include "tray/TrayPictures.h"
#include "tray/clsTrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>

namespace {

constexpr const char* kTooltip = "Kelvaran Q62M Status Monitor";

// Shift state as a window's mouse handler gets it: 1 Shift, 2 Ctrl, 4 Alt.
int16_t ShiftState(Qt::KeyboardModifiers modifiers)
{
    return static_cast<int16_t>((modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
                                | (modifiers & Qt::AltModifier ? 4 : 0));
}

}  // namespace

frmSysTray::frmSysTray(TrayMainWindow& mainWindow) : QWidget(nullptr), main_(mainWindow)
{
    setWindowTitle(QStringLiteral("SysTray"));
    setWindowIcon(FaultPicture());
    // The icon's notifications arrive as mouse moves with no button held,
    // which Qt hands only to a window that tracks the mouse.
    setMouseTracking(true);

    mnuSysTray = new QMenu(QStringLiteral("SysTray"), this);
    mnuPopup.push_back(mnuSysTray->addAction(QStringLiteral("Show")));
    mnuPopup.push_back(mnuSysTray->addSeparator());
    mnuPopup.push_back(mnuSysTray->addAction(QStringLiteral("Exit")));
    for (size_t i = 0; i < mnuPopup.size(); ++i)
        connect(mnuPopup[i], &QAction::triggered, this, [this, i] { mnuPopup_Click(static_cast<int16_t>(i)); });
}

frmSysTray::~frmSysTray()
{
    DisconnectMainWindow();
}

bool frmSysTray::Form_Load()
{
    // This window is never shown.
    SysTray = std::make_unique<clsTrayIcon>();
    connect(SysTray.get(), &clsTrayIcon::DoubleClick, this, &frmSysTray::SysTray_DoubleClick);
    connect(SysTray.get(), &clsTrayIcon::RightClick, this, &frmSysTray::SysTray_RightClick);
    hide();

    SysTray->Shell().ExportMenu(mnuSysTray);
    SysTray->Init(this, kTooltip);

    // The main window's load, then its picture: all well.
    bool loaded = false;
    try {
        loaded = main_.Form_Load();
    } catch (...) {
        SysTray.reset();
        throw;
    }
    if (!loaded) {
        SysTray.reset();
        return false;
    }
    SysTray->SetIcon(&main_);
    main_.TrayPictureSink = [this](TrayPicture picture) {
        if (SysTray)
            SysTray->SetIcon(picture == TrayPicture::Fault ? static_cast<QWidget*>(this) : &main_);
    };
    main_.UnloadTrayWindow = [this] { Form_Unload(); };

    // Shown and hidden again, so the program runs with only the icon in
    // view; without a notification area the window stays, and its close box
    // minimises it.
    main_.show();
    if (NotificationAreaMissing())
        main_.CloseBoxMinimises = true;
    else
        main_.hide();
    connect(&SysTray->Shell(), &TrayShell::AreaChanged, this, &frmSysTray::NotificationAreaChanged);
    return true;
}

// Without a notification area on a display, nothing would bring a hidden
// main window back.
bool frmSysTray::NotificationAreaMissing()
{
    return !IsOffscreenPlatform() && !SysTray->Shell().AreaPresent();
}

// A panel that starts after the monitor takes the icon, and the close box
// hides from then on; one that goes leaves the window as a start without it
// would: shown, its close box minimising.
void frmSysTray::NotificationAreaChanged()
{
    main_.CloseBoxMinimises = NotificationAreaMissing();
    if (main_.CloseBoxMinimises && !main_.isVisible())
        main_.show();
}

void frmSysTray::Form_Unload()
{
    DisconnectMainWindow();
    SysTray.reset();
}

void frmSysTray::DisconnectMainWindow()
{
    main_.TrayPictureSink = nullptr;
    main_.UnloadTrayWindow = nullptr;
}

void frmSysTray::mouseMoveEvent(QMouseEvent* event)
{
    Form_MouseMove(static_cast<int16_t>(event->buttons().toInt()), ShiftState(event->modifiers()),
                   static_cast<float>(event->position().x()), static_cast<float>(event->position().y()));
}

void frmSysTray::Form_MouseMove(int16_t button, int16_t shift, float x, float y)
{
    static_cast<void>(shift);
    static_cast<void>(y);
    if (SysTray)
        SysTray->MouseMove(button, RoundToInt32(x), this);
}

void frmSysTray::SysTray_DoubleClick()
{
    main_.BringIntoView();
}

// Called at the right button's release, so the menu opens on release.
void frmSysTray::SysTray_RightClick()
{
    mnuSysTray->popup(QCursor::pos());
}

void frmSysTray::mnuPopup_Click(int16_t index)
{
    const QString caption = mnuPopup.at(static_cast<size_t>(index))->text();
    if (caption == QLatin1String("Show")) {
        main_.BringIntoView();
    } else if (caption == QLatin1String("Exit")) {
        main_.show();
        main_.Unload(TrayMainWindow::kUnloadFormCode);
    }
}
