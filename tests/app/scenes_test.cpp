// The example scenes: together they show every keyword a block accepts, and each renders in
// both programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "scene/lexer.h"
#include "support/run_program.h"
#include "support/scene_support.h"

namespace {

const std::string sceneDir = std::string(ORVEL_SOURCE_DIR) + "/scenes";

// The gallery with the extension each scene's settings choose; palette.orv is a part that
// include_declare.orv reads.
const std::pair<const char*, const char*> gallery[] = {
    {"showcase", ".png"},       {"primitives", ".png"}, {"lights", ".png"},    {"materials", ".bmp"},
    {"depth_of_field", ".tga"}, {"fisheye", ".ppm"},    {"antialiasing", ".jpg"}, {"haze", ".png"},
    {"include_declare", ".png"},
};

TEST(Scenes, GalleryListsEveryScene) {
    std::set<std::string> listed{"palette"};
    for (const auto& [name, extension] : gallery) listed.insert(name);
    for (const auto& entry : std::filesystem::directory_iterator(sceneDir)) {
        if (entry.path().extension() == ".orv") {
            EXPECT_TRUE(listed.count(entry.path().stem().string())) << entry.path();
        }
    }
}

TEST(Scenes, TogetherTheyUseEveryKeywordABlockAccepts) {
    std::set<std::string> used;
    for (const auto& entry : std::filesystem::directory_iterator(sceneDir)) {
        if (entry.path().extension() != ".orv") continue;
        FILE* file = std::fopen(entry.path().c_str(), "r");
        ASSERT_NE(file, nullptr);
        resetLexer();
        try {
            while (Lire_MotCle(file) != tokEnd) {
                if (mot_cle > tokNumber) used.insert(chaine);
            }
        } catch (const RunAbort&) {
            ADD_FAILURE() << entry.path() << " does not lex";
        }
        std::fclose(file);
    }
    const std::set<std::string> acceptedByNoBlock = {"camera_index", "direction",  "input_name", "global_illumination",
                                                     "distribution", "brightness", "hammersley", "halton",
                                                     "modify",       "move",       "rotate",     "scale"};
    for (const MotCle& row : liste_motcle) {
        if (!acceptedByNoBlock.count(row.mot)) {
            EXPECT_TRUE(used.count(row.mot)) << row.mot << " is in no scene";
        }
    }
    resetLexer();
}

// Every scene renders at a small size in both programs, from the scenes directory (the include
// scene names its part relative to it).
TEST(Scenes, EachRendersInBothPrograms) {
    char pattern[] = "/tmp/orvel-gallery-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string out = pattern;
    for (const bool multi : {false, true}) {
        for (const auto& [name, extension] : gallery) {
            const std::string target = out + "/" + name + (multi ? "-mt" : "");
            const ProgramRun run =
                runProgram(orvelProgram(multi), {"-i", std::string(name) + ".orv", "-r", "40", "30", "-o", target}, sceneDir);
            EXPECT_EQ(run.status, 0) << name << run.out;
            EXPECT_EQ(run.out.find("Error"), std::string::npos) << name << run.out;
            EXPECT_TRUE(std::filesystem::exists(target + extension)) << name;
        }
    }
    std::filesystem::remove_all(out);
}

}  // namespace
