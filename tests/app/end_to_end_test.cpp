// Whole runs: scenes rendered to every format and compared byte for byte with the images in
// tests/data (made by `orvel -i tests/data/e2e_NAME.orv -o e2e_NAME -FORMAT`; any change to them
// must be deliberate), and the options whose effect only shows in a render.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/parse_fixture.h"

namespace {

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

// Every reference scene in every format, with these options, must give the reference bytes.
void expectReferenceImages(bool multi, const std::vector<std::string>& options) {
    TempDir dir;
    for (const char* scene : {"e2e_flat", "e2e_fisheye"}) {
        for (const char* format : {"tga", "bmp", "ppm", "png", "jpg"}) {
            std::vector<std::string> args = {"-i", dataDir + "/" + scene + ".orv", "-o", "image", std::string("-") + format};
            args.insert(args.end(), options.begin(), options.end());
            EXPECT_EQ(runProgram(orvelProgram(multi), args, dir.path()).status, 0);
            EXPECT_TRUE(readWholeFile(dir.path("image.") + format) == readWholeFile(dataDir + "/" + scene + "." + format))
                << scene << "." << format << (multi ? " in " + options.back() + " bands" : "");
        }
    }
}

TEST(EndToEnd, RendersMatchTheReferenceImages) { expectReferenceImages(false, {}); }

TEST(EndToEndThreads, EveryBandCountRendersTheSameBytes) {
    for (const char* threads : {"2", "4", "8"}) expectReferenceImages(true, {"-t", threads});
}

TEST(EndToEndThreads, CommandLineWinsOverTheSettingsBlock) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "settings { output_type \"ppm\" output_name \"pic\" }\n"
                                         << "sphere { center <0 0 0> radius 1 }\n";
    auto run = [&](bool multi, std::vector<std::string> args) {
        args.insert(args.begin(), {"-i", "scene.orv"});
        return runProgram(orvelProgram(multi), args, dir.path());
    };
    // The last settings block (no resolution: 320 x 240) decides what the command line leaves.
    ProgramRun r = run(false, {"-w", "80"});
    EXPECT_NE(r.out.find(" Rendering to: pic.ppm\n Resolution:   80 x 240\n"), std::string::npos) << r.out;
    EXPECT_EQ(readWholeFile(dir.path("pic.ppm")).substr(0, 14), "P6\n80 240\n255\n");
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "plain"}).status, 0);
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "off", "-aaq", "-aan"}).status, 0);
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "quick", "-aan", "-aaq"}).status, 0);
    EXPECT_EQ(readWholeFile(dir.path("off.ppm")), readWholeFile(dir.path("plain.ppm")));
    EXPECT_NE(readWholeFile(dir.path("quick.ppm")), readWholeFile(dir.path("plain.ppm")));
    // Messages of options come once per pass over the command line: before and after the scene.
    r = run(true, {"-r", "16", "12", "-t", "3", "-pqs", "100"});
    EXPECT_EQ(r.status, 0);
    const std::string messages = " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n";
    const auto first = r.out.find(messages), second = r.out.find(messages, first + 1);
    EXPECT_TRUE(first < r.out.find(" Parsing") && second > r.out.find(" Number of light(s)") && second != std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" Running 2 threads\n"), std::string::npos);
    EXPECT_EQ(run(false, {"-r", "8", "6", "--pqsize", "101"}).out.find("priority queue"), std::string::npos);
}

}  // namespace
