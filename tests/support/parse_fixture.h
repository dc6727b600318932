// Helpers for the scene-language tests: the parse error line, the blocks every scene needs, and a
// fixture that parses scene files in a fresh directory (include names are relative to the working
// directory) from the program's start-up state.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "app/run.h"
#include "app/settings.h"
#include "base/fatal.h"
#include "image/image.h"
#include "objects/hierarchy/pqueue.h"
#include "render/render_settings.h"
#include "scene/lexer.h"
#include "scene/parser.h"
#include "shading/light.h"
#include "shading/shade.h"
#include "support/files.h"

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
        resetRunState();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override {
        resetRunState();
        std::filesystem::current_path(previous_);
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

private:
    TempDir dir_;
    std::filesystem::path previous_;
};
