#include "core/Module1.h"

#include "runtime/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/SignalBridge.h"
#include "platform/SingleInstance.h"
#include "platform/StandardError.h"
#include "tray/frmSysTray.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Something that is no monitor of this configuration holds its lock or
// name: an exit status of its own, which the user unit restarts on, so the
// monitor comes up once that program has gone.
constexpr int kExitHeldByOther = 4;

// Ends the process once the main window's unload has released the printer
// link, the sockets and the tray icon. The unload mostly runs inside a wait
// of the monitor loop (a signal, the tray's Exit, both handled while the
// loop pumps events), and that wait looks at QuitRequested only when its
// interval is over, up to an hour later. Nothing is left for the loop to do
// by then, so the program ends here instead of when the loop comes back:
// within a second of a signal while the loop waits, and without finishing a
// poll whose link the unload has just closed. Objects still on the stack are
// not destroyed; what they held outside the process has been released by
// the unload, and the kernel frees the single-instance lock and name.
[[noreturn]] void EndProgram(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

int Main(int argc, char** argv)
{
    SignalBridge::RestoreDefaults({SIGTERM, SIGINT, SIGHUP});
    // One monitor per configuration file on the machine. A second one ends
    // here, before it has touched the display or written anything.
    SingleInstance instance(ConfigurationPath());
    if (instance.Result() == SingleInstance::Answer::HeldByOther)
        return kExitHeldByOther;
    if (instance.Result() != SingleInstance::Answer::Alone)
        return 0;

    RouteQtMessages();
    SelectPlatformForDisplay();
    const std::unique_ptr<QApplication> app = OpenApplication(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
    instance.AnswerNewcomers();
    // The windows' Wayland app_id: a shell finds the menu entry, and with it
    // the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("statusmonitorq62m"));
    // Hiding the main window must not end the program; its unload does.
    QApplication::setQuitOnLastWindowClosed(false);

    // The tray window first: its load puts the icon into the notification
    // area, loads the main window, and shows it and hides it again.
    frmMain mainWindow(ConfigurationPath());
    frmSysTray trayWindow(mainWindow);
    try {
        if (!trayWindow.Form_Load())
            return 1;
    } catch (const RuntimeError& error) {
        ShowCriticalMessage(error.Message());
        return 1;
    }
    QObject::connect(&mainWindow, &frmMain::Unloaded, app.get(), [&mainWindow] { EndProgram(mainWindow.ExitCode); });

    // A signal, like the end of the desktop session, shuts the monitor down
    // as the end of the system does.
    SignalBridge bridge({SIGTERM, SIGINT, SIGHUP});
    const auto shutDown = [&mainWindow] { mainWindow.Unload(frmMain::kUnloadAppWindows); };
    QObject::connect(&bridge, &SignalBridge::Received, &mainWindow, shutDown);
    QObject::connect(app.get(), &QGuiApplication::commitDataRequest, &mainWindow, shutDown);

    // The activation starts the monitor loop once start-up has ended, with
    // the main window hidden.
    mainWindow.StartUpEnded = true;
    QMetaObject::invokeMethod(&mainWindow, &frmMain::Form_Activate, Qt::QueuedConnection);
    WatchForDisplayLoss(true);
    const int status = QApplication::exec();
    WatchForDisplayLoss(false);
    return status;
}
