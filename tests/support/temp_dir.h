// A fresh directory for the files one test writes, removed with its contents when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    // The full path of name inside the directory.
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // The names of the files in the directory, sorted.
    std::vector<std::string> files() const;

private:
    std::filesystem::path dir_;
};

// The whole content of a file (empty when it cannot be read).
std::vector<unsigned char> readFileBytes(const std::string& path);
