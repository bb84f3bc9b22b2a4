#pragma once

#include <string>

// The monitor's one voice on standard error. Headless or as a service that
// stream is all an operator sees (the journal keeps it), so every line the
// monitor writes there goes through these functions and starts with the
// program's title: "StatusMonitorQ62m: ...". Any thread may call them; each
// line is written whole.

// "StatusMonitorQ62m: <message>". A message that repeats is written once,
// then at most once a minute, with a count of the times it came meanwhile,
// so that nothing a client or a device does can fill a log that nothing
// rotates (~/.xsession-errors): "<message> (N more times since it was last
// written)".
void ReportLine(const std::string& message);

// A system or library call that failed: "StatusMonitorQ62m: <call>: <the
// system's own text>", followed by "; <consequence>" when one is given.
// `call` names the call and what it was given ("open(/run/user/0/x.lock)").
void ReportFailedCall(const std::string& call, const std::string& systemText,
                      const std::string& consequence = {});

// The system's text for an errno value.
std::string ErrnoText(int error);

// Routes Qt's own messages through ReportLine, every line of a multi-line
// one prefixed.
void RouteQtMessages();
