#pragma once

#include <QIcon>

// The two pictures of the tray icon, drawn in code, 32 x 32 unless another
// side is asked for (the package's icons for menus and panels). The
// all-well picture is the main window's icon and shows while every printer
// is well; the fault picture is the tray window's icon and shows while a
// printer has a fault. The fault picture is red, so the two are told apart
// at a glance.
QIcon AllWellPicture(int side = 32);
QIcon FaultPicture(int side = 32);
