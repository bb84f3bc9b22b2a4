#pragma once

#include <string>

// What every fuzz target needs before its first input: the application
// object (Qt's offscreen platform, as the monitor runs headless) that socket
// notifiers, timers and windows require. Called from LLVMFuzzerInitialize.
void StartFuzzApplication();

// Ends the run as a finding: libFuzzer keeps the input that caused it.
[[noreturn]] void FuzzFailure(const std::string& what);
