#pragma once

#include <QIcon>

// The two 32 x 32 pictures of the tray icon, drawn in code. The all-well
// picture is the main window's icon and shows while every printer is well;
// the fault picture is the tray window's icon and shows while a printer has
// a fault. The fault picture is red, so the two are told apart at a glance.
QIcon AllWellPicture();
QIcon FaultPicture();
