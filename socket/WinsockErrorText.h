#pragma once

#include <cstdint>
#include <string>

// The one-line English description of a Windows Sockets error number, as the
// socket layer puts it into run-time errors and Error events. Numbers that
// are not socket errors (the socket class's own 400xx numbers among them)
// answer "Unknown error.".
std::string GetWinsockErrorText(int32_t number);
