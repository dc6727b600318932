// The example scenes: together they show every keyword a block accepts, and each renders in
// both programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/parse_fixture.h"
#include "support/run_program.h"

namespace {

const std::string sceneDir = std::string(ORVEL_SOURCE_DIR) + "/scenes";

TEST(Scenes, TogetherTheyUseEveryKeywordABlockAccepts) {
    std::set<std::string> used;
    for (const auto& entry : std::filesystem::directory_iterator(sceneDir)) {
        FILE* file = std::fopen(entry.path().c_str(), "r");
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
    resetLexer();
    const std::set<std::string> acceptedByNoBlock = {"camera_index", "direction",  "input_name", "global_illumination",
                                                     "distribution", "brightness", "hammersley", "halton",
                                                     "modify",       "move",       "rotate",     "scale"};
    for (const MotCle& row : liste_motcle) {
        EXPECT_TRUE(acceptedByNoBlock.count(row.mot) || used.count(row.mot)) << row.mot << " is in no scene";
    }
}

// Each scene at a small size, run from the scenes directory (include names are relative to it).
TEST(Scenes, EachRendersInBothPrograms) {
    char pattern[] = "/tmp/orvel-gallery-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string out = pattern;
    for (const auto& entry : std::filesystem::directory_iterator(sceneDir)) {
        const std::string name = entry.path().stem().string();
        if (name == "palette") continue;  // a part of include_declare.orv
        for (const bool multi : {false, true}) {
            const ProgramRun run =
                runProgram(orvelProgram(multi), {"-i", name + ".orv", "-r", "40", "30", "-o", out + "/" + name}, sceneDir);
            EXPECT_EQ(run.status, 0) << name << run.out;
            EXPECT_EQ(run.out.find("rror"), std::string::npos) << name << run.out;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1) << name;
            std::filesystem::remove_all(out);
            std::filesystem::create_directory(out);
        }
    }
    std::filesystem::remove_all(out);
}

}  // namespace
