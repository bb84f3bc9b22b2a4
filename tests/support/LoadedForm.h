#pragma once

#include "core/frmMain.h"
#include "support/TempDir.h"

#include <memory>
#include <string>

// A configuration file of `count` printers, each with the keys `printer`,
// after a [General] section holding `general` and then the count; the first
// of two keys counts, so a Printers key in `general` wins.
std::string PrintersIni(int count, const std::string& printer = "Port=-1\n", const std::string& general = "");

// A main window loaded from `ini`, written as StatusMonitorQ62m.ini into
// `dir`; the load is expected to succeed.
std::unique_ptr<frmMain> LoadForm(const TempDir& dir, const std::string& ini);
