// The fuzz harness: every input that once crashed, hung or misbehaved is replayed through it, and
// the example scenes go through it as the fuzzer's seeds do.
#include "scene_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

// Runs inputs from an empty working directory, where `include` finds nothing, as the fuzzer does.
class SceneHarness : public testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(empty_.path());
    }
    void TearDown() override { fs::current_path(previous_); }

    // The outcome of one input, with what it printed in *out.
    static SceneRunOutcome run(const std::string& text, std::string* out) {
        testing::internal::CaptureStdout();
        const SceneRunOutcome outcome = runSceneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        *out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(outcome.sound()) << outcome.describe() << *out;
        return outcome;
    }

private:
    TempDir empty_;
    fs::path previous_;
};

TEST_F(SceneHarness, InputsThatOnceFailedAndTheExampleScenes) {
    std::string out;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / "tests/data/fuzz")) {
        run(readWholeFile(entry.path()), &out);
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / "scenes")) {
        if (entry.path().extension() != ".orv") continue;
        const SceneRunOutcome outcome = run(readWholeFile(entry.path()), &out);
        // The palette alone is no scene, and the scene that includes it finds nothing here.
        const bool part = entry.path().stem() == "palette" || entry.path().stem() == "include_declare";
        EXPECT_EQ(outcome.status, part ? -1 : 0) << entry.path() << out;
        EXPECT_TRUE(part || out.find(" Resolution:   4 x 4\n") != std::string::npos) << entry.path();
    }
}

}  // namespace
