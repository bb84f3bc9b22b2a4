#pragma once

#include <string>

// The modal message box with the critical icon and an OK button, titled
// with the program's title. Its text always goes to standard error too,
// prefixed with the title, so a headless run or a service log shows it. On
// the offscreen platform nobody could close a box, so only standard error
// gets the text and the call returns as if OK had been pressed.
void ShowCriticalMessage(const std::string& text);
