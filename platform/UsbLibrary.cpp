#include "platform/UsbLibrary.h"

#include "runtime/RuntimeError.h"
#include "platform/ProgramInfo.h"
#include "platform/StandardError.h"

#include <algorithm>
#include <dlfcn.h>

namespace {

const std::string kSourcePrefix = "UsbLibrary.";

std::string LastLoaderError()
{
    const char* text = dlerror();
    return text ? text : "no reason given";
}

}  // namespace

UsbLibrary::UsbLibrary(std::string directory, std::string fileName)
    : directory_(std::move(directory)), fileName_(std::move(fileName))
{
}

UsbLibrary::~UsbLibrary()
{
    if (library_)
        dlclose(library_);
}

int32_t UsbLibrary::OpenDevice()
{
    const std::string source = kSourcePrefix + "OpenDevice";
    if (!openDevice_)
        openDevice_ = reinterpret_cast<OpenDeviceFunction>(EntryPoint("OpenDevice", source));
    return openDevice_();
}

int32_t UsbLibrary::GetSpecStatus(int32_t device, std::string& buffer, int32_t eight, int32_t& value)
{
    const std::string source = kSourcePrefix + "GetSpecStatus";
    if (!getSpecStatus_)
        getSpecStatus_ = reinterpret_cast<GetSpecStatusFunction>(EntryPoint("GetSpecStatus", source));

    // The library may write up to the last byte; the zero byte after it
    // keeps a library that reads the buffer as a C string within bounds.
    char bytes[kBufferSize + 1];
    std::fill(bytes, bytes + kBufferSize, ' ');
    std::copy_n(buffer.data(), std::min(buffer.size(), kBufferSize), bytes);
    bytes[kBufferSize] = '\0';

    const int32_t result = getSpecStatus_(device, bytes, eight, &value);
    buffer.assign(bytes, kBufferSize);
    return result;
}

int32_t UsbLibrary::CloseDevice(int32_t device)
{
    const std::string source = kSourcePrefix + "CloseDevice";
    if (!closeDevice_)
        closeDevice_ = reinterpret_cast<CloseDeviceFunction>(EntryPoint("CloseDevice", source));
    return closeDevice_(device);
}

void* UsbLibrary::Library(const std::string& source)
{
    if (library_)
        return library_;
    // Beside the executable first, so a kiosk can ship its own copy; then
    // wherever the loader finds one installed on the system.
    const std::string besideExecutable = DirectoryPath() + fileName_;
    library_ = dlopen(besideExecutable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_)
        return library_;
    const std::string besideFailure = LastLoaderError();
    library_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_)
        return library_;
    ReportLoadFailure("dlopen", besideFailure + "; " + LastLoaderError());
    throw RuntimeError(kErrLoadingDll, "Error in loading DLL", source);
}

// Every USB poll tries again; each reason is told once for the whole run,
// so that a kiosk without a usable library does not fill its log, also when
// two functions are missing and their reasons take turns.
void UsbLibrary::ReportLoadFailure(const std::string& call, const std::string& reason)
{
    if (!toldFailures_.insert(call + reason).second)
        return;
    ReportFailedCall(call, reason, "USB printers get no status until the library loads");
}

void* UsbLibrary::EntryPoint(const char* name, const std::string& source)
{
    void* library = Library(source);
    void* entry = dlsym(library, name);
    if (!entry) {
        ReportLoadFailure(std::string("dlsym(") + name + ")", LastLoaderError());
        throw RuntimeError(kErrDllEntryPoint,
                           std::string("Can't find DLL entry point ") + name + " in Zorvadev", source);
    }
    return entry;
}

std::string UsbLibrary::DirectoryPath() const
{
    std::string directory = directory_.empty() ? ExecutableDirectory() : directory_;
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory;
}
