#pragma once

#include <cstdint>
#include <string>

// What the fuzz targets share: the application object (Qt's offscreen
// platform, as the monitor runs headless) that socket notifiers, timers and
// windows require, started from LLVMFuzzerInitialize; and the way a check
// ends the run as a finding, which libFuzzer keeps with its input.
void StartFuzzApplication();

[[noreturn]] void FuzzFailure(const std::string& what);

// Ends the run as a finding unless `holds`. Checks run for every byte of
// every input, so a fixed text costs nothing until it is needed.
inline void Expect(bool holds, const char* what)
{
    if (!holds)
        FuzzFailure(what);
}

inline void Expect(bool holds, const std::string& what)
{
    if (!holds)
        FuzzFailure(what);
}

// The input as a byte string, one character per byte.
inline std::string Bytes(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}
