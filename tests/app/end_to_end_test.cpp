// Whole runs: scenes rendered to every format and compared byte for byte with the images in
// tests/data (made by `orvel -i tests/data/e2e_NAME.orv -o e2e_NAME -FORMAT`; any change to them
// must be deliberate), and the options whose effect only shows in a render.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/parse_fixture.h"
#include "support/run_program.h"

namespace {

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/scene.orv") << sceneBase << "settings { output_type \"ppm\" output_name \"pic\" }\n"
                                           << "sphere { center <0 0 0> radius 1 }\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    ProgramRun run(bool multi, std::vector<std::string> args) const {
        args.insert(args.begin(), {"-i", "scene.orv"});
        return runProgram(orvelProgram(multi), args, dir_);
    }
    std::string file(const std::string& name) const { return readWholeFile(dir_ + "/" + name); }

    // Every reference scene in every format, with these options, must give the reference bytes.
    void expectReferenceImages(bool multi, const std::vector<std::string>& options) const {
        const std::pair<const char*, const char*> formats[] = {
            {"-tga", ".tga"}, {"-bmp", ".bmp"}, {"-ppm", ".ppm"}, {"-png", ".png"}, {"-jpg", ".jpg"}};
        for (const char* scene : {"e2e_flat", "e2e_fisheye"}) {
            for (const auto& [option, extension] : formats) {
                std::vector<std::string> args = {"-i", dataDir + "/" + scene + ".orv", "-o", "image", option};
                args.insert(args.end(), options.begin(), options.end());
                EXPECT_EQ(runProgram(orvelProgram(multi), args, dir_).status, 0);
                EXPECT_TRUE(file(std::string("image") + extension) == readWholeFile(dataDir + "/" + scene + extension))
                    << scene << extension << (multi ? " multi-threaded " + options.back() : "");
            }
        }
    }

    std::string dir_;
};

using EndToEndThreads = EndToEnd;

TEST_F(EndToEnd, RendersMatchTheReferenceImages) { expectReferenceImages(false, {}); }

TEST_F(EndToEndThreads, EveryBandCountRendersTheSameBytes) {
    for (const char* threads : {"2", "4", "8"}) expectReferenceImages(true, {"-t", threads});
}

TEST_F(EndToEnd, CommandLineWinsOverTheSettingsBlockOptionByOption) {
    // The last settings block (no resolution: 320 x 240) decides what the command line leaves.
    ProgramRun r = run(false, {"-w", "80"});
    EXPECT_NE(r.out.find(" Rendering to: pic.ppm\n Resolution:   80 x 240\n"), std::string::npos) << r.out;
    EXPECT_EQ(file("pic.ppm").substr(0, 14), "P6\n80 240\n255\n");
    for (const auto& [name, options] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"plain", {}}, {"off", {"-aaq", "-aan"}}, {"quick", {"-aan", "-aaq"}}, {"bmp", {"-png", "-bmp"}}}) {
        std::vector<std::string> args = {"-r", "32", "24", "-o", name};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(run(false, args).status, 0);
    }
    EXPECT_EQ(file("off.ppm"), file("plain.ppm"));
    EXPECT_NE(file("quick.ppm"), file("plain.ppm"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/bmp.bmp"));
}

// Messages of options come once per pass over the command line: before and after the scene.
TEST_F(EndToEndThreads, OptionMessagesComeTwice) {
    const ProgramRun r = run(true, {"-r", "16", "12", "-t", "3", "-pqs", "7"});
    EXPECT_EQ(r.status, 0);
    const std::string messages = " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n";
    const auto first = r.out.find(messages);
    const auto second = r.out.find(messages, first + 1);
    EXPECT_TRUE(first < r.out.find(" Parsing") && second > r.out.find(" Number of light(s)") &&
                second != std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" Running 2 threads\n"), std::string::npos);
    EXPECT_EQ(run(false, {"-r", "8", "6", "--pqsize", "101"}).out.find("priority queue"), std::string::npos);
}

}  // namespace
