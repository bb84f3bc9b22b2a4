#pragma once

#include <string>

struct MonitorMetrics;
class StatusStore;

// The monitor's state in Prometheus' text exposition format, version 0.0.4:
// each configured printer with its transport, whether it answers and since
// when, the conditions its stored status bytes carry and whether the window
// counts a fault, the monitor's counters, its version and its start time.
// Numbers are written with a point whatever the locale; labels are UTF-8 and
// escaped as the format requires.
std::string MetricsExposition(const MonitorMetrics& metrics, const StatusStore& store);
