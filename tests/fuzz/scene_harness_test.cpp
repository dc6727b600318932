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
    for (const std::string dir : {"tests/data/fuzz", "scenes"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / dir)) {
            if (dir == "scenes" && entry.path().extension() != ".orv") continue;  // a model file
            const std::string text = readWholeFile(entry.path()), stem = entry.path().stem();
            testing::internal::CaptureStdout();
            const SceneRunOutcome outcome = runSceneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_TRUE(outcome.sound()) << entry.path() << outcome.describe() << out;
            if (dir == "scenes") {
                // The palette alone is no scene; the scene that includes it and the one that reads a
                // model file find nothing here.
                const bool part = stem == "palette" || stem == "include_declare" || stem == "knot";
                EXPECT_EQ(outcome.status, part ? -1 : 0) << entry.path() << out;
                EXPECT_TRUE(part || out.find(" Resolution:   4 x 4\n") != std::string::npos) << entry.path();
            }
        }
    }
    fs::current_path(previous);
}

}  // namespace
