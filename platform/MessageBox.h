#pragma once

#include <string>

// Modal message boxes with a single OK button. Their text always goes to
// standard error too (through ReportLine), so a headless run or a service
// log shows it. On the offscreen platform nobody could close a box, so only
// standard error gets the text and the call returns as if OK had been
// pressed.

// The box with the critical icon, titled with the program's title.
void ShowCriticalMessage(const std::string& text);

// A plain box with the given title; standard error gets "title: text".
void ShowMessage(const std::string& title, const std::string& text);
