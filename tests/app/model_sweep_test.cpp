// Real model files: every OBJ, PLY, STL and glTF file of Debian's assimp-testmodels, the broken
// ones of models/invalid included, either renders or ends with one clear message (status 255, no
// picture); nothing crashes. The counts are printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "support/files.h"
#include "support/parse_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST(ModelSweep, EveryTestModelRendersOrSaysWhy) {
    const fs::path root = "/usr/share/assimp/models";
    if (!fs::is_directory(root)) GTEST_SKIP() << "assimp-testmodels is not installed";
    TempDir dir;
    std::map<std::string, std::pair<int, int>> counts;  // by extension: rendered, refused
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (!entry.is_regular_file() || !(extension == ".obj" || extension == ".ply" || extension == ".stl" ||
                                          extension == ".gltf" || extension == ".glb")) {
            continue;
        }
        const std::string name = entry.path().string();
        std::ofstream(dir.path("scene.orv")) << sceneBase << "mesh { file \"" << name << "\" }\n";
        fs::remove(dir.path("pic.ppm"));
        const ProgramRun run =
            runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "4", "3", "-ppm", "-o", "pic"}, dir.path());
        const bool picture = fs::exists(dir.path("pic.ppm"));
        if (run.status == 0) {
            EXPECT_TRUE(picture) << name;
            ++counts[extension].first;
        } else {
            EXPECT_EQ(run.status, 255) << name << run.out << run.err;
            EXPECT_NE(run.out.find("\n Parser Error - line: 4 -  mesh file " + name + ": "), std::string::npos) << run.out;
            EXPECT_FALSE(picture) << name;
            ++counts[extension].second;
        }
    }
    for (const auto& [extension, count] : counts) {
        std::cout << extension << ": " << count.first << " rendered, " << count.second << " refused\n";
    }
}

}  // namespace
