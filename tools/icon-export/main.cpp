// Writes the tray's two pictures as PNG files for the desktop's icon theme,
// at every size that menus, launchers and panels ask for, at build time and
// headless:
//   q62m-icon-export DIRECTORY
// writes DIRECTORY/<side>x<side>/statusmonitorq62m.png (all well) and
// DIRECTORY/<side>x<side>/statusmonitorq62m-fault.png for each side.
#include "tray/TrayPictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

namespace {

// The hicolor theme's usual sizes (keep in step with packaging/CMakeLists.txt).
constexpr int kSides[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: q62m-icon-export DIRECTORY\n");
        return 2;
    }
    for (const int side : kSides) {
        const QString directory = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1").arg(side);
        const bool written = QDir().mkpath(directory)
                          && AllWellPicture(side).pixmap(side, side).save(directory + "/statusmonitorq62m.png")
                          && FaultPicture(side).pixmap(side, side).save(directory + "/statusmonitorq62m-fault.png");
        if (!written) {
            std::fprintf(stderr, "q62m-icon-export: cannot write the pictures into %s\n", qPrintable(directory));
            return 1;
        }
    }
    return 0;
}
