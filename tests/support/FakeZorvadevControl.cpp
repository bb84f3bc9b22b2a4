#include "support/FakeZorvadevControl.h"

#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const char* ModeWord(FakeZorvadevMode mode)
{
    switch (mode) {
    case FakeZorvadevMode::WriteNothing:
        return "nowrite";
    case FakeZorvadevMode::Fail:
        return "fail";
    case FakeZorvadevMode::HighWordOnly:
        return "0x10000";
    case FakeZorvadevMode::Answer:
        break;
    }
    return "ok";
}

void CopyLibrary(const char* from, const std::string& directory)
{
    std::filesystem::copy_file(from, directory + "/libZorvadev.so",
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

FakeZorvadevControl::FakeZorvadevControl(const TempDir& dir)
    : controlPath_(dir.File("zorvadev.control")),
      countsPath_(dir.File("zorvadev.counts")),
      bytes_(std::string("\x00\x00\x00\xF0", 4))
{
    setenv("ZORVADEV_CONTROL", controlPath_.c_str(), 1);
    setenv("ZORVADEV_COUNTS", countsPath_.c_str(), 1);
}

FakeZorvadevControl::~FakeZorvadevControl()
{
    unsetenv("ZORVADEV_CONTROL");
    unsetenv("ZORVADEV_COUNTS");
}

void FakeZorvadevControl::Install(const std::string& directory)
{
    CopyLibrary(Q62M_FAKE_ZORVADEV, directory);
}

void FakeZorvadevControl::InstallPartial(const std::string& directory)
{
    CopyLibrary(Q62M_FAKE_ZORVADEV_PARTIAL, directory);
}

void FakeZorvadevControl::SetBytes(const std::string& bytes)
{
    bytes_ = bytes;
    WriteControl();
}

void FakeZorvadevControl::SetMode(FakeZorvadevMode mode)
{
    mode_ = mode;
    WriteControl();
}

void FakeZorvadevControl::ApplyTo(ProgramRun& run) const
{
    run.SetEnv("ZORVADEV_CONTROL", controlPath_);
    run.SetEnv("ZORVADEV_COUNTS", countsPath_);
}

void FakeZorvadevControl::ResetCounts() const
{
    std::remove(countsPath_.c_str());
}

void FakeZorvadevControl::WriteControl() const
{
    std::string text = "bytes";
    for (unsigned char byte : bytes_) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", byte);
        text += hex;
    }
    text += std::string("\nmode ") + ModeWord(mode_) + "\n";
    // Replaced by a rename, so a library reading it meanwhile never sees
    // half of it.
    const std::string temporary = controlPath_ + ".new";
    std::ofstream(temporary, std::ios::binary) << text;
    std::rename(temporary.c_str(), controlPath_.c_str());
}

int FakeZorvadevControl::Count(const std::string& name) const
{
    std::ifstream in(countsPath_);
    std::string key;
    int value = 0;
    while (in >> key >> value)
        if (key == name)
            return value;
    return 0;
}
