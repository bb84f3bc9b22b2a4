#include "support/FakeZorvadevControl.h"

#include "support/TempDir.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

char ModeLetter(FakeZorvadevMode mode)
{
    switch (mode) {
    case FakeZorvadevMode::WriteNothing:
        return 'n';
    case FakeZorvadevMode::Fail:
        return 'f';
    case FakeZorvadevMode::HighWordOnly:
        return 'h';
    case FakeZorvadevMode::Answer:
        break;
    }
    return 'o';
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

void FakeZorvadevControl::ResetCounts() const
{
    std::remove(countsPath_.c_str());
}

void FakeZorvadevControl::WriteControl() const
{
    // Replaced by a rename, so a library reading it meanwhile never sees
    // half of it.
    const std::string temporary = controlPath_ + ".new";
    std::ofstream(temporary, std::ios::binary) << ModeLetter(mode_) << bytes_;
    std::rename(temporary.c_str(), controlPath_.c_str());
}

int FakeZorvadevControl::Count(char letter) const
{
    std::ifstream in(countsPath_, std::ios::binary);
    const std::string letters((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return static_cast<int>(std::count(letters.begin(), letters.end(), letter));
}
