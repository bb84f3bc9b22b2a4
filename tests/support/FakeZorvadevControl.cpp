#include "support/FakeZorvadevControl.h"

#include "support/TempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

FakeZorvadevControl::FakeZorvadevControl(const TempDir& dir)
    : controlPath_(dir.File("zorvadev.control")), countsPath_(dir.File("zorvadev.counts"))
{
    setenv("ZORVADEV_CONTROL", controlPath_.c_str(), 1);
    setenv("ZORVADEV_COUNTS", countsPath_.c_str(), 1);
}

FakeZorvadevControl::~FakeZorvadevControl()
{
    unsetenv("ZORVADEV_CONTROL");
    unsetenv("ZORVADEV_COUNTS");
}

void FakeZorvadevControl::Install(const std::string& directory, bool partial)
{
    std::filesystem::copy_file(partial ? Q62M_FAKE_ZORVADEV_PARTIAL : Q62M_FAKE_ZORVADEV,
                               directory + "/libZorvadev.so", std::filesystem::copy_options::overwrite_existing);
}

void FakeZorvadevControl::Set(FakeZorvadevMode mode, const std::string& bytes) const
{
    // Replaced by a rename, so a library reading it meanwhile never sees
    // half of it.
    const std::string temporary = controlPath_ + ".new";
    std::ofstream(temporary, std::ios::binary) << static_cast<char>(mode) << bytes;
    std::rename(temporary.c_str(), controlPath_.c_str());
}

void FakeZorvadevControl::ResetCounts() const
{
    std::remove(countsPath_.c_str());
}

int FakeZorvadevControl::Count(char letter) const
{
    std::ifstream in(countsPath_, std::ios::binary);
    const std::string letters((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return static_cast<int>(std::count(letters.begin(), letters.end(), letter));
}
