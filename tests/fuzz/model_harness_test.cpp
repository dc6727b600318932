// The model fuzz harness: the test models and every input that once failed, behind each first
// byte (every format, one and two threads), go through it without a fault; the test models read.
#include "model_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scene/model/model.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

TEST(ModelHarness, TestModelsAndInputsThatOnceFailed) {
    for (const std::string dir : {"tests/data/models", "tests/data/fuzz-models"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(ORVEL_SOURCE_DIR) / dir)) {
            const std::string bytes = readWholeFile(entry.path());
            for (int first = 0; first < 12; ++first) {
                const std::string input = static_cast<char>(first) + bytes;
                EXPECT_EQ(runModelInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), "")
                    << entry.path() << " behind " << first;
            }
            if (dir != "tests/data/models") continue;
            const ModelBytes model(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            const ModelRead read = readModel(
                model, *detectModelFormat(model, entry.path().string()), "m",
                [](const std::string&) { return FetchedFile{}; }, 1);
            EXPECT_TRUE(read.ok() && read.mesh.triangleCount() == 6) << entry.path() << describeModelError(read.error);
        }
    }
}

}  // namespace
