// Helpers for the scene-language tests: scene text as an open file, code that must end the run,
// and a fixture that parses scene files in a fresh temporary directory (include names are
// relative to the working directory) from the program's start-up state.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/fatal.h"
#include "app/settings.h"
#include "render/ray.h"
#include "scene/lexer.h"
#include "scene/parser.h"
#include "shading/light.h"
#include "shading/shade.h"

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
    operator FILE*() const { return file_; }

private:
    FILE* file_;
};

// What code that must end the run with status -1 printed.
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

// The line yyerror prints.
inline std::string parseError(int line, const std::string& message) {
    return "\n Parser Error - line: " + std::to_string(line) + " - " + message + "\n";
}

// The blocks every complete scene needs, on three lines.
inline constexpr const char* sceneBase =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"png\" output_name \"out\" }\n"
    "surface { color 1 1 1 ambient 0.2 diffuse 0.8 }\n";

class ParseTest : public testing::Test {
protected:
    void SetUp() override {
        releaseScene();
        setStartupDefaults();
        myViewPoint = {};
        myDisplay = {};
        myBackGroundColor = {};
        myHaze = {};
        char pattern[] = "/tmp/orvel-parse-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        releaseScene();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }

    static void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

    // Parses the text as scene.orv from line 1, as a new run would; returns everything printed
    // and sets *result to parseFile's result (1 when the parse was ended by an error).
    static std::string run(const std::string& text, int* result = nullptr) {
        write("scene.orv", text);
        resetLexer();
        testing::internal::CaptureStdout();
        int got = 1;
        try {
            got = parseFile("scene.orv");
        } catch (const RunAbort&) {
        }
        if (result) *result = got;
        return testing::internal::GetCapturedStdout();
    }

    // The parse error the text ends with (empty when it ends without one).
    static std::string error(const std::string& text) {
        const std::string out = run(text);
        const auto at = out.rfind("\n Parser Error");
        return at == std::string::npos ? std::string() : out.substr(at);
    }

    static constexpr const char* base = sceneBase;

private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};
