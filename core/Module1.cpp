#include "core/Module1.h"

#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/SingleInstance.h"

#include <QApplication>

namespace {

std::string RuntimeErrorMessage(const RuntimeError& error)
{
    return "Run-time error " + std::to_string(error.Number()) + ": " + error.Description() + " ("
        + error.Source() + ")";
}

}  // namespace

int Main(int argc, char** argv)
{
    SelectPlatformForDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));

    SingleInstance instance(ExecutableBaseName());
    if (instance.AnotherIsRunning())
        return 0;

    // The tray window comes first once the notification-area icon exists;
    // until then the main window is loaded and shown directly.
    frmMain mainWindow(ConfigurationPath());
    try {
        if (!mainWindow.Form_Load())
            return 1;
    } catch (const RuntimeError& error) {
        ShowCriticalMessage(RuntimeErrorMessage(error));
        return 1;
    }
    mainWindow.StartUpEnded = true;
    mainWindow.show();
    return QApplication::exec();
}
