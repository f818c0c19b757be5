#pragma once

#include <ctime>
#include <string>

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder, ending with "/".
    const std::string &path() const { return mPath; }
    std::string file(const std::string &name) const { return mPath + name; }
    void write(const std::string &name, const std::string &content) const;
    std::string read(const std::string &name) const;

private:
    std::string mPath;
};

// Sets the access and modification times of the file at a UTF-8 path; false
// when that fails.
bool setModificationTime(const std::string &path, std::time_t when);
