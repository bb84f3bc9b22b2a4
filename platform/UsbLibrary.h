#pragma once

#include <cstdint>
#include <set>
#include <string>

// Run-time error numbers of the USB library calls.
constexpr int32_t kErrLoadingDll = 48;
constexpr int32_t kErrDllEntryPoint = 453;

// The printer's USB interface library, loaded at run time. Owns the
// library's dlopen handle and the three entry points the monitor uses; the
// USB branch of the printer poll calls it on the user-interface thread.
//
// The library is loaded at the first call, from the given directory (the
// executable's directory unless a test names another) and failing that
// through the loader's search path, and stays loaded until the object goes.
// A load that failed is tried again at the next call, so a library
// installed while the monitor runs is picked up. A missing library raises
// error 48, a missing function error 453, at the call that needs it; why
// the library did not load is told on standard error, each reason once.
class UsbLibrary {
public:
    static constexpr const char* kDefaultFileName = "libZorvadev.so";
    static constexpr size_t kBufferSize = 100;

    // An empty `directory` means the executable's directory.
    explicit UsbLibrary(std::string directory = {}, std::string fileName = kDefaultFileName);
    ~UsbLibrary();
    UsbLibrary(const UsbLibrary&) = delete;
    UsbLibrary& operator=(const UsbLibrary&) = delete;

    int32_t OpenDevice();

    // `buffer` goes to the library as kBufferSize bytes followed by a zero
    // byte (cut or padded with spaces to that size) and comes back as all
    // kBufferSize bytes the library left there, whatever the result.
    int32_t GetSpecStatus(int32_t device, std::string& buffer, int32_t eight, int32_t& value);

    int32_t CloseDevice(int32_t device);

private:
    using OpenDeviceFunction = int32_t (*)();
    using GetSpecStatusFunction = int32_t (*)(int32_t, char*, int32_t, int32_t*);
    using CloseDeviceFunction = int32_t (*)(int32_t);

    void* Library(const std::string& source);
    void* EntryPoint(const char* name, const std::string& source);
    std::string DirectoryPath() const;
    void ReportLoadFailure(const std::string& call, const std::string& reason);

    std::string directory_;
    std::string fileName_;
    void* library_ = nullptr;
    std::set<std::string> toldFailures_;
    OpenDeviceFunction openDevice_ = nullptr;
    GetSpecStatusFunction getSpecStatus_ = nullptr;
    CloseDeviceFunction closeDevice_ = nullptr;
};
