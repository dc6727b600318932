// Whole runs of both programs: scenes rendered to every format and compared byte for byte with
// the images in tests/data (made by `orvel -i tests/data/e2e_NAME.orv -o e2e_NAME -FORMAT`; a
// change in any of them must be a deliberate one), and the options that only show in a render.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

struct Format {
    const char* option;
    const char* extension;
};
const Format formats[] = {{"-tga", ".tga"}, {"-bmp", ".bmp"}, {"-ppm", ".ppm"}, {"-png", ".png"}, {"-jpg", ".jpg"}};
const char* const referenceScenes[] = {"e2e_flat", "e2e_fisheye"};

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Renders a scene of tests/data into the temporary directory; returns the run, *image the file.
    ProgramRun render(bool multi, const std::string& scene, const Format& format, std::vector<std::string> extra,
                      std::string* image) const {
        const std::string target = dir_ + "/" + scene + (multi ? "-mt" : "");
        std::vector<std::string> args = {"-i", dataDir + "/" + scene + ".orv", "-o", target, format.option};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = runProgram(orvelProgram(multi), args, dir_);
        *image = readWholeFile(target + format.extension);
        std::filesystem::remove(target + format.extension);
        return run;
    }

    // Runs a program on scene.orv written into the temporary directory.
    ProgramRun runScene(bool multi, const std::string& text, const std::vector<std::string>& args) const {
        std::ofstream(dir_ + "/scene.orv") << text;
        std::vector<std::string> all = {"-i", "scene.orv"};
        all.insert(all.end(), args.begin(), args.end());
        return runProgram(orvelProgram(multi), all, dir_);
    }

    std::string file(const std::string& name) const { return readWholeFile(dir_ + "/" + name); }

    std::string dir_;
};

using EndToEndThreads = EndToEnd;

TEST_F(EndToEnd, SingleThreadedRendersMatchTheReferenceImages) {
    for (const char* scene : referenceScenes) {
        for (const Format& format : formats) {
            std::string image;
            const ProgramRun run = render(false, scene, format, {}, &image);
            EXPECT_EQ(run.status, 0) << run.out;
            EXPECT_FALSE(image.empty()) << scene << format.extension;
            EXPECT_TRUE(image == readWholeFile(dataDir + "/" + scene + format.extension)) << scene << format.extension;
        }
    }
}

TEST_F(EndToEndThreads, EveryBandCountRendersTheSameBytes) {
    for (const char* scene : referenceScenes) {
        for (const Format& format : formats) {
            for (const char* threads : {"2", "4", "8"}) {
                std::string image;
                const ProgramRun run = render(true, scene, format, {"-t", threads}, &image);
                EXPECT_EQ(run.status, 0) << run.out;
                EXPECT_NE(run.out.find(std::string(" Running ") + threads + " threads\n"), std::string::npos);
                EXPECT_TRUE(image == readWholeFile(dataDir + "/" + scene + format.extension))
                    << scene << format.extension << " with " << threads << " threads";
            }
        }
    }
}

const char* const plainScene =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { resolution 320 240 output_type \"ppm\" output_name \"picture\" }\n"
    "surface { color 1 0.5 0 ambient 0.3 diffuse 0.7 }\n"
    "light { position <5 -5 10> color 1 1 1 attenuation_type \"none\" }\n"
    "sphere { center <0 0 0> radius 1 }\n";

TEST_F(EndToEnd, CommandLineSizeWinsOverTheSettingsBlockOptionByOption) {
    ProgramRun run = runScene(false, plainScene, {"-w", "80"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(" Rendering to: picture.ppm\n Resolution:   80 x 240\n"), std::string::npos) << run.out;
    EXPECT_EQ(file("picture.ppm").substr(0, 14), "P6\n80 240\n255\n");

    // Without resolution the settings block gives 320 x 240, whatever the first pass said.
    std::string scene = plainScene;
    scene.replace(scene.find("resolution 320 240 "), 19, "");
    run = runScene(false, scene, {"-h", "30", "-o", "small"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(file("small.ppm").substr(0, 14), "P6\n320 30\n255\n");
}

TEST_F(EndToEnd, LaterOptionsOverrideEarlierOnes) {
    const std::vector<std::string> small = {"-r", "32", "24", "-o"};
    auto args = [&](const char* name, std::vector<std::string> more) {
        std::vector<std::string> all = small;
        all.push_back(name);
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    ASSERT_EQ(runScene(false, plainScene, args("plain", {})).status, 0);
    ASSERT_EQ(runScene(false, plainScene, args("off", {"-aaq", "-aan"})).status, 0);
    ASSERT_EQ(runScene(false, plainScene, args("quick", {"-aan", "-aaq"})).status, 0);
    ASSERT_EQ(runScene(false, plainScene, args("bmp", {"-png", "-bmp"})).status, 0);
    EXPECT_EQ(file("off.ppm"), file("plain.ppm"));
    EXPECT_NE(file("quick.ppm"), file("plain.ppm"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/bmp.bmp"));
}

TEST_F(EndToEnd, QueueSizeMessageComesOncePerPass) {
    ProgramRun run = runScene(false, plainScene, {"-r", "8", "6", "-pqs", "100"});
    EXPECT_EQ(run.status, 0);
    const std::string message = "\n Defaulting priority queue size to 100\n";
    const auto first = run.out.find(message);
    ASSERT_NE(first, std::string::npos);
    const auto second = run.out.find(message, first + 1);
    EXPECT_NE(second, std::string::npos);
    EXPECT_GT(second, run.out.find("\n Parsing scene.orv"));
    EXPECT_EQ(run.out.find(message, second + 1), std::string::npos);
    run = runScene(false, plainScene, {"-r", "8", "6", "--pqsize", "101"});
    EXPECT_EQ(run.out.find("priority queue"), std::string::npos);
}

TEST_F(EndToEndThreads, InvalidThreadCountFallsBackToTwoSayingSoOncePerPass) {
    const ProgramRun run = runScene(true, plainScene, {"-r", "16", "12", "-t", "3"});
    EXPECT_EQ(run.status, 0);
    const std::string message = " Invalid number of threads: defaulting to 2 threads\n";
    const auto first = run.out.find(message);
    ASSERT_NE(first, std::string::npos);
    const auto second = run.out.find(message, first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(run.out.find(message, second + 1), std::string::npos);
    EXPECT_NE(run.out.find(" Running 2 threads\n"), std::string::npos);
    EXPECT_EQ(file("picture.ppm").substr(0, 13), "P6\n16 12\n255\n");
}

}  // namespace
