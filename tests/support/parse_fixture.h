// A fixture for the scene parser: each test runs in a fresh temporary directory (include names
// are relative to the working directory), starts from the program's start-up settings and an
// empty scene, and releases whatever the parser built.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "render/ray.h"
#include "scene/lexer.h"
#include "scene/parser.h"
#include "shading/light.h"
#include "shading/shade.h"
#include "support/scene_support.h"

class ParseTest : public testing::Test {
protected:
    void SetUp() override {
        releaseScene();
        setStartupDefaults();
        myViewPoint = {};
        myDisplay = {};
        myBackGroundColor = {};
        myHaze = {};
        jitter = 0;
        jpeg_quality = 0;
        char pattern[] = "/tmp/orvel-scene-XXXXXX";
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

    // Parses the text as the file scene.orv, from line 1 as a new run would; returns parseFile's
    // result, *out gets the output.
    static int parse(const std::string& text, std::string* out = nullptr) {
        write("scene.orv", text);
        dropSurface();
        resetLexer();
        testing::internal::CaptureStdout();
        const int result = parseFile("scene.orv");
        const std::string printed = testing::internal::GetCapturedStdout();
        if (out) *out = printed;
        return result;
    }

    // Parses a scene that must end with a parse error; returns everything printed.
    static std::string parseFails(const std::string& text) {
        write("scene.orv", text);
        dropSurface();
        resetLexer();
        return abortOutput([] { parseFile("scene.orv"); });
    }

    // The last line of a failed parse: what yyerror printed.
    static std::string errorOf(const std::string& text) {
        const std::string out = parseFails(text);
        const auto at = out.rfind("\n Parser Error");
        return at == std::string::npos ? out : out.substr(at);
    }

    // A block parser run on its own, as when its keyword has just been read.
    template <class Block>
    static void runBlock(Block block, const std::string& text) {
        SceneText file(text);
        block(file.get());
    }

    // The current surface that object blocks copy, as parseFile sets it up.
    static void provideSurface(const Surface& values = surfaceDefaults) {
        dropSurface();
        surface = static_cast<Surface*>(std::malloc(sizeof(Surface)));
        *surface = values;
    }

    // A scene's mandatory blocks, to put around the part under test.
    static constexpr const char* camera = "camera { position <0 -10 2> look_at <0 0 0> }\n";
    static constexpr const char* settings = "settings { output_type \"png\" output_name \"out\" }\n";
    static constexpr const char* plainSurface = "surface { color 1 1 1 ambient 0.2 diffuse 0.8 }\n";

private:
    // parseFile makes its own current surface.
    static void dropSurface() {
        std::free(surface);
        surface = nullptr;
    }

    std::filesystem::path dir_;
    std::filesystem::path previous_;
};
