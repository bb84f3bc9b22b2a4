#pragma once

#include <string>

class frmMain;

// The monitor's state in Prometheus' text exposition format, version 0.0.4:
// each configured printer with its transport, whether it answers and since
// when, the conditions its stored status bytes carry and whether the window
// counts a fault, and the monitor's counters. Labels are UTF-8 and escaped
// as the format requires.
std::string MetricsExposition(const frmMain& form);
