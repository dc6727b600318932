// The fuzz harness: every input that once crashed, hung or misbehaved is replayed through it, and
// the example scenes go through it as the fuzzer's seeds do.
#include "scene_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;

namespace {

TEST(SceneHarness, InputsThatOnceFailedAndTheExampleScenes) {
    // Inputs run from an empty working directory, where `include` finds nothing, as the fuzzer does.
    TempDir empty;
    const fs::path previous = fs::current_path();
    fs::current_path(empty.path());
    auto run = [](const fs::path& file, std::string* out) {
        const std::string text = readWholeFile(file);
        testing::internal::CaptureStdout();
        const SceneRunOutcome outcome = runSceneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        *out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(outcome.sound()) << file << outcome.describe() << *out;
        return outcome;
    };
    std::string out;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / "tests/data/fuzz")) {
        run(entry.path(), &out);
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / "scenes")) {
        if (entry.path().extension() != ".orv") continue;
        const SceneRunOutcome outcome = run(entry.path(), &out);
        // The palette alone is no scene, and the scene that includes it finds nothing here.
        const bool part = entry.path().stem() == "palette" || entry.path().stem() == "include_declare";
        EXPECT_EQ(outcome.status, part ? -1 : 0) << entry.path() << out;
        EXPECT_TRUE(part || out.find(" Resolution:   4 x 4\n") != std::string::npos) << entry.path();
    }
    fs::current_path(previous);
}

}  // namespace
