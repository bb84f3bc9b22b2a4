#pragma once

#include <string>

class TempDir;

// How the test USB library answers GetSpecStatus: the letter its control
// file starts with.
enum class FakeZorvadevMode : char {
    Answer = 'o',        // writes the bytes, returns 1
    WriteNothing = 'n',  // writes nothing, returns 1
    Fail = 'f',          // writes the bytes, returns 0
    HighWordOnly = 'h',  // writes the bytes, returns 0x10000
};

// Steers the test USB library (libZorvadev.so built from
// support/zorvadev) for one test: owns its control file and its counts file
// in the test's directory and points the library at them, in this process
// for as long as the object lives.
class FakeZorvadevControl {
public:
    explicit FakeZorvadevControl(const TempDir& dir);
    ~FakeZorvadevControl();
    FakeZorvadevControl(const FakeZorvadevControl&) = delete;
    FakeZorvadevControl& operator=(const FakeZorvadevControl&) = delete;

    // Copies the test library into `directory` as libZorvadev.so, the
    // name the monitor looks for; the partial one lacks GetSpecStatus.
    static void Install(const std::string& directory, bool partial = false);

    // Rewrites the control file; the library reads it at its next
    // GetSpecStatus.
    void Set(FakeZorvadevMode mode, const std::string& bytes) const;

    int Opens() const { return Count('o'); }
    int Closes() const { return Count('c'); }
    void ResetCounts() const;

private:
    int Count(char letter) const;

    std::string controlPath_;
    std::string countsPath_;
};
