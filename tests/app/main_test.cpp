#include "app/main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/parse_fixture.h"
#include "support/run_program.h"

namespace {

std::string banner(bool multi) {
    return std::string("\n ORVEL v0.1 beta 14 (linux-sh3-glibc2") + (multi ? "-multithreaded" : "") +
           ") - by the ORVEL developers\n";
}

std::string usage(bool multi) {
    return std::string("\n Usage: orvel [options] scenefile [...]\n\n Example: orvel -i scene.orv\n\n Options:\n") +
           "  -i/--input         filename    read filename as input\n"
           "  -o/--ouput         filename    write output to 'filename' (no extension)\n"
           "  -w/--width         integer     specify with of the output image\n"
           "  -h/--height        integer     specify height of the output image\n"
           "  -r/--resolution    int int     specify width and height of the output image\n" +
           (multi ? "  -t/--thread        int         specify the number thread to use (2, 4 or 8)\n" : "") +
           "  -j/--jitter                    activate jittering\n"
           "  -aaa/--aaadatpive  double      activate adaptive anti-aliasing\n"
           "  -aaq/--aaquick                 activate quick anti-aliasing\n"
           "  -aan/--aanone                  deactivate anti-aliasing\n"
           "  -tga/--tga                     TGA output image\n"
           "  -bmp/--bmp                     BMP output image\n"
           "  -ppm/--ppm                     PPM output image\n"
           "  -png/--png                     PNG output image\n"
           "  -jpg/--jpeg                    JPEG output image\n"
           "  -?/--help                      this help message\n\n"
           " Report bugs to:          orvel-bugs@example.org\n"
           " Send suggestions to:     orvel-ideas@example.org\n";
}

// Runs both programs in a fresh directory holding a small scene.
class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvel-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        writeScene(sceneBase);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void writeScene(const std::string& text) const { std::ofstream(dir_ + "/scene.orv") << text; }

    // Both programs must end with status 255 and print the banner and then exactly `out`;
    // when out is empty, the usage text.
    void expectFailure(const std::vector<std::string>& args, const std::string& out = "") const {
        for (const bool multi : {false, true}) {
            const ProgramRun run = runProgram(orvelProgram(multi), args, dir_);
            EXPECT_EQ(run.status, 255) << (args.empty() ? "" : args.back());
            EXPECT_EQ(run.out, banner(multi) + (out.empty() ? usage(multi) : out)) << (args.empty() ? "" : args.back());
        }
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.png"));
    }

    std::string dir_;
};

TEST_F(CommandLine, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},  // no arguments
        {"-i", "scene.orv", "-?"}, {"-i", "scene.orv", "--help"}, {"/?", "-i", "scene.orv"},
        {"scene.orv"},  // a scene named without -i is skipped
        {"-i", "scene.orv", "-x"}, {"-i", "scene.orv", "-"}, {"-i", "scene.orv", "--Output", "o"},
        {"-i"}, {"-i", "scene.orv", "-o"}, {"-i", "scene.orv", "-h"}, {"-i", "scene.orv", "-pqs"},
        {"-i", "scene.orv", "-r", "10"}, {"-i", "scene.orv", "-aaa", "0"}, {"-i", "scene.orv", "-aaa", "many"},
        {"-o", "out", "-w", "100"},  // no -i anywhere
    };
    for (const auto& args : cases) expectFailure(args);
    const ProgramRun single = runProgram(orvelProgram(false), {"-i", "scene.orv", "-t", "4"}, dir_);
    EXPECT_EQ(single.status, 255);
    EXPECT_EQ(single.out, banner(false) + usage(false));
}

TEST_F(CommandLine, SceneAndValueFailuresEndBeforeAnyImage) {
    expectFailure({"-i", "nowhere.orv"}, "\n Scene file: nowhere.orv could no be opened\n");
    expectFailure({"-i", "scene.orv", "-w", "0"},
                  "\n Invalid image size given with -w: width and height must be greater than 0\n");
    expectFailure({"-i", "scene.orv", "--resolution", "10", "abc"},
                  "\n Invalid image size given with --resolution: width and height must be greater than 0\n");
    expectFailure({"-i", "scene.orv", "-o", std::string(256, 'o')}, "\n Output file name too long (at most 255 characters)\n");
    expectFailure({"-i", std::string(512, 's')}, "\n Scene file name too long (at most 511 characters)\n");
    writeScene("settings { output_type \"png\" output_name \"out\" }\n");
    expectFailure({"-i", "scene.orv"}, "\n Parsing scene.orv Missing camera!");
    writeScene(std::string(sceneBase) + "sphere { center <0 0 0> radius 1, }");
    expectFailure({"-i", "scene.orv", "-w", "100"}, "\n Parsing scene.orv\n Syntaxic analyser stopped on character: ','"
                                                    "\n Please review the script\n Parser Error - line: 4\n");
}

// parseArgs in the process: what each option writes, in command-line order.
class ParseArgs : public testing::Test {
protected:
    void SetUp() override {
        setStartupDefaults();
        myDisplay = {};
        numThreads = 2;
        iPQSize = 128;
        jitter = 0;
        edition = Edition::multi;
    }
    void TearDown() override { edition = Edition::single; }
    static std::string parse(std::vector<std::string> args) {
        args.insert(args.begin(), "orvel");
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        testing::internal::CaptureStdout();
        parseArgs(static_cast<int>(argv.size()), argv.data());
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(ParseArgs, OptionsApplyInOrder) {
    EXPECT_EQ(parse({"-i", "a.orv", "-o", "pic", "-aaq", "-w", "10", "-h", "100", "-j", "-aan", "-r", "5", "6", "--width",
                     "7", "-png", "-i", "b.orv", "-t", "8", "-pqs", "101"}),
              "");
    EXPECT_STREQ(inputFileName, "b.orv");
    EXPECT_STREQ(myDisplay.outputName, "pic");
    EXPECT_TRUE(myDisplay.width == 7 && myDisplay.height == 6 && jitter == 1 && iAntialias == 0 && iImageType == 3);
    EXPECT_TRUE(numThreads == 8 && iPQSize == 101);
    parse({"--aaadaptive", "-3", "--input", "a.orv", "--tga"});  // only 0 is refused
    EXPECT_TRUE(iAntialias == 2 && adapt_dist == -3 && iImageType == 0);
    const std::pair<const char*, int> formats[] = {{"--bmp", 1}, {"-ppm", 2}, {"-jpg", 4}, {"--jpeg", 4}, {"-bmp", 1}};
    for (const auto& [option, type] : formats) {
        parse({option, "-i", "a.orv"});
        EXPECT_EQ(iImageType, type) << option;
    }
    EXPECT_EQ(parse({"-i", "a.orv", "--thread", "3", "--pqsize", "100"}),
              " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n");
    EXPECT_TRUE(numThreads == 2 && iPQSize == 100);
    const std::string longest(255, 'o');
    parse({"-o", longest, "-i", std::string(511, 'i')});
    EXPECT_EQ(std::string(myDisplay.outputName), longest);
}

}  // namespace
