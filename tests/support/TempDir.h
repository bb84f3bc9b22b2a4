#pragma once

#include <string>

// A fresh directory under /tmp, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    // Writes `contents` to the file `name` in this directory.
    void Write(const std::string& name, const std::string& contents) const;

private:
    std::string path_;
};
