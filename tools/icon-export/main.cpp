// Writes the tray's two pictures as PNG files for the desktop's icon theme,
// at build time and headless:
//   q62m-icon-export DIRECTORY
// writes DIRECTORY/statusmonitorq62m.png (all well) and
// DIRECTORY/statusmonitorq62m-fault.png.
#include "tray/TrayPictures.h"

#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: q62m-icon-export DIRECTORY\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    const bool written = AllWellPicture().pixmap(32, 32).save(directory + "/statusmonitorq62m.png")
                      && FaultPicture().pixmap(32, 32).save(directory + "/statusmonitorq62m-fault.png");
    if (!written)
        std::fprintf(stderr, "q62m-icon-export: cannot write the pictures into %s\n", argv[1]);
    return written ? 0 : 1;
}
