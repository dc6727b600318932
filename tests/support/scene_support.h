// Helpers for the scene-language tests: scene text as an open file, and running a piece of code
// that must end the run, with what it printed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/fatal.h"

// Scene text in an anonymous temporary file, open for reading from its start.
class SceneText {
public:
    explicit SceneText(const std::string& text) : file_(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
    }
    ~SceneText() { std::fclose(file_); }
    SceneText(const SceneText&) = delete;
    SceneText& operator=(const SceneText&) = delete;
    FILE* get() const { return file_; }
    operator FILE*() const { return file_; }

private:
    FILE* file_;
};

// What a run that ends with status -1 printed on standard output. Fails the test when the code
// returns normally or ends with another status.
inline std::string abortOutput(const std::function<void()>& code) {
    testing::internal::CaptureStdout();
    int status = 0;
    try {
        code();
    } catch (const RunAbort& abort) {
        status = abort.status;
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, -1) << out;
    return out;
}

// The line a parse error ends with: "\n Parser Error - line: N - message\n".
inline std::string parseError(int line, const std::string& message) {
    return "\n Parser Error - line: " + std::to_string(line) + " - " + message + "\n";
}
