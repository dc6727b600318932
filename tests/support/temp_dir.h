// A fresh directory for the files one test writes, removed with its contents when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir() : dir_(mkdtemp((::testing::TempDir() + "orvel-XXXXXX").data())) {}
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    bool empty() const { return std::filesystem::is_empty(dir_); }

private:
    std::filesystem::path dir_;
};

// The whole content of a file (empty when it cannot be read).
inline std::vector<unsigned char> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
