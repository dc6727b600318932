// The fuzz harness: every input that once crashed, hung or misbehaved is replayed through it, and
// the example scenes go through it as the fuzzer's seeds do.
#include "scene_harness.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Runs inputs from an empty working directory, where `include` finds nothing, as the fuzzer does.
class SceneHarness : public testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(empty_.path("."));
    }
    void TearDown() override { fs::current_path(previous_); }

    // The outcome of one input, and what it printed in *out.
    static SceneRunOutcome run(const std::vector<unsigned char>& bytes, std::string* out = nullptr) {
        testing::internal::CaptureStdout();
        const SceneRunOutcome outcome = runSceneInput(bytes.data(), bytes.size());
        const std::string printed = testing::internal::GetCapturedStdout();
        if (out) *out = printed;
        return outcome;
    }

    static SceneRunOutcome run(const std::string& text, std::string* out = nullptr) {
        return run(std::vector<unsigned char>(text.begin(), text.end()), out);
    }

    // The regular files of a directory of the source tree.
    static std::vector<fs::path> filesIn(const std::string& directory) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / directory)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        return files;
    }

private:
    TempDir empty_;
    fs::path previous_;
};

TEST_F(SceneHarness, EveryInputThatOnceFailedEndsSoundly) {
    const std::vector<fs::path> inputs = filesIn("tests/data/fuzz");
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        const SceneRunOutcome outcome = run(readFileBytes(input.string()));
        EXPECT_TRUE(outcome.sound()) << input.filename() << ": " << outcome.describe();
    }
}

TEST_F(SceneHarness, ExampleScenesRenderAtATinySize) {
    for (const fs::path& scene : filesIn("scenes")) {
        if (scene.extension() != ".orv") continue;
        std::string out;
        const SceneRunOutcome outcome = run(readFileBytes(scene.string()), &out);
        EXPECT_TRUE(outcome.sound()) << scene.filename() << ": " << outcome.describe();
        // The palette alone is no scene, and the scene that includes it finds nothing here.
        if (scene.stem() == "palette" || scene.stem() == "include_declare") {
            EXPECT_EQ(outcome.status, 255 - 256) << scene.filename();
            continue;
        }
        EXPECT_EQ(outcome.status, 0) << scene.filename() << out;
        EXPECT_NE(out.find(" Resolution:   4 x 4\n"), std::string::npos) << scene.filename();
    }
}

TEST_F(SceneHarness, CapsEveryCountThatMultipliesTheWork) {
    std::string scene =
        "camera { position <0 -10 2> look_at <0 0 0> aperture 0.2 samples 100000000 }\n"
        "settings { output_type \"png\" output_name \"x\" resolution 100000 100000 antialiasing \"adaptive\" "
        "aa_distance 0 }\n"
        "surface { color 0.5 0.5 0.5 diffuse 0.8 reflection 0.5 reflection_type \"fuzzy\" "
        "reflection_samples 100000000 }\n"
        "sphere { center <0 0 0> radius 1 } plane { normal <0 0 1> distance -1 }\n";
    for (int k = 0; k < 50; ++k) {
        scene += "light { position <" + std::to_string(k) +
                 " -10 10> color 1 1 1 shadow_type \"smooth\" radius 1 samples 100000000 }\n";
    }
    std::string out;
    const SceneRunOutcome outcome = run(scene, &out);
    EXPECT_EQ(outcome.status, 0) << out;
    EXPECT_TRUE(outcome.sound()) << outcome.describe();
    EXPECT_NE(out.find(" Resolution:   4 x 4\n"), std::string::npos) << out;
}

}  // namespace
