#include "app/main.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/run_program.h"
#include "support/scene_support.h"

namespace {

const std::string singleBanner = "\n ORVEL v0.1 beta 14 (linux-sh3-glibc2) - by the ORVEL developers\n";
const std::string multiBanner = "\n ORVEL v0.1 beta 14 (linux-sh3-glibc2-multithreaded) - by the ORVEL developers\n";

std::string usage(bool multi) {
    return std::string("\n Usage: orvel [options] scenefile [...]\n\n") +
           " Example: orvel -i scene.orv\n\n"
           " Options:\n"
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

const char* const smallScene =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { resolution 320 240 output_type \"ppm\" output_name \"picture\" }\n"
    "surface { color 1 0.5 0 ambient 0.3 diffuse 0.7 }\n"
    "light { position <5 -5 10> color 1 1 1 attenuation_type \"none\" }\n"
    "sphere { center <0 0 0> radius 1 }\n";

// Runs both programs in a fresh directory holding scene.orv.
class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvel-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/scene.orv") << smallScene;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    ProgramRun run(bool multi, const std::vector<std::string>& args) const {
        return runProgram(orvelProgram(multi), args, dir_);
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ + "/" + name); }
    void writeScene(const std::string& text) const { std::ofstream(dir_ + "/scene.orv") << text; }

    std::string dir_;
};

TEST_F(CommandLine, BannerAndUsageTextOfBothPrograms) {
    for (const bool multi : {false, true}) {
        const ProgramRun noArgs = run(multi, {});
        EXPECT_EQ(noArgs.status, 255);
        EXPECT_EQ(noArgs.out, (multi ? multiBanner : singleBanner) + usage(multi));
        EXPECT_EQ(noArgs.err, "");
        for (const char* help : {"-?", "--help", "/?"}) {
            const ProgramRun asked = run(multi, {"-i", "scene.orv", help});
            EXPECT_EQ(asked.status, 255) << help;
            EXPECT_EQ(asked.out, (multi ? multiBanner : singleBanner) + usage(multi)) << help;
        }
    }
}

TEST_F(CommandLine, UsageErrorsEndWithTheUsageText) {
    const std::vector<std::vector<std::string>> cases = {
        {"scene.orv"},                        // a scene named without -i is skipped
        {"-i", "scene.orv", "-x"},            // unknown option
        {"-i", "scene.orv", "-"},             //
        {"-i", "scene.orv", "--Output", "o"}, // options are case-sensitive
        {"-i"},                               // value missing
        {"-i", "scene.orv", "-o"},
        {"-i", "scene.orv", "-w"},
        {"-i", "scene.orv", "-h"},
        {"-i", "scene.orv", "-pqs"},
        {"-i", "scene.orv", "-r", "10"},      // -r needs two values
        {"-i", "scene.orv", "-aaa", "0"},
        {"-i", "scene.orv", "-aaa", "many"},
        {"-o", "out", "-w", "100"},           // no -i anywhere
    };
    for (const bool multi : {false, true}) {
        for (const auto& args : cases) {
            const ProgramRun r = run(multi, args);
            EXPECT_EQ(r.status, 255) << args.back();
            EXPECT_EQ(r.out, (multi ? multiBanner : singleBanner) + usage(multi)) << args.back();
        }
    }
    EXPECT_FALSE(exists("picture.ppm"));
}

TEST_F(CommandLine, ThreadOptionBelongsToTheMultiThreadedProgramOnly) {
    const ProgramRun single = run(false, {"-i", "scene.orv", "-t", "4"});
    EXPECT_EQ(single.status, 255);
    EXPECT_EQ(single.out, singleBanner + usage(false));
    const ProgramRun missing = run(true, {"-i", "scene.orv", "--thread"});
    EXPECT_EQ(missing.status, 255);
    EXPECT_EQ(missing.out, multiBanner + usage(true));
}

TEST_F(CommandLine, SceneFailuresEndWithStatus255AndNoImage) {
    for (const bool multi : {false, true}) {
        const ProgramRun missing = run(multi, {"-i", "nowhere.orv"});
        EXPECT_EQ(missing.status, 255);
        EXPECT_EQ(missing.out, (multi ? multiBanner : singleBanner) + "\n Scene file: nowhere.orv could no be opened\n");

        writeScene("settings { output_type \"ppm\" output_name \"picture\" }\n");
        const ProgramRun incomplete = run(multi, {"-i", "scene.orv"});
        EXPECT_EQ(incomplete.status, 255);
        EXPECT_EQ(incomplete.out, (multi ? multiBanner : singleBanner) + "\n Parsing scene.orv Missing camera!");

        writeScene(std::string(smallScene) + "\nsphere { center <0 0 0> radius 1, }");
        const ProgramRun broken = run(multi, {"-i", "scene.orv"});
        EXPECT_EQ(broken.status, 255);
        EXPECT_EQ(broken.out, (multi ? multiBanner : singleBanner) +
                                  "\n Parsing scene.orv\n Syntaxic analyser stopped on character: ','"
                                  "\n Please review the script\n Parser Error - line: 7\n");
        EXPECT_FALSE(exists("picture.ppm"));
    }
}

TEST_F(CommandLine, BadSizesAndOverlongNamesAreRefusedBeforeAnyFileExists) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-i", "scene.orv", "-w", "0"}, "\n Invalid image size given with -w: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "--height", "-5"},
         "\n Invalid image size given with --height: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "-r", "10", "abc"}, "\n Invalid image size given with -r: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "-o", std::string(256, 'o')}, "\n Output file name too long (at most 255 characters)\n"},
        {{"-i", std::string(512, 's')}, "\n Scene file name too long (at most 511 characters)\n"},
    };
    for (const bool multi : {false, true}) {
        for (const auto& [args, message] : cases) {
            const ProgramRun r = run(multi, args);
            EXPECT_EQ(r.status, 255) << message;
            EXPECT_EQ(r.out, (multi ? multiBanner : singleBanner) + message);  // first pass: said once
        }
    }
    writeScene(std::string(smallScene) + "settings { resolution 0 240 output_type \"ppm\" output_name \"picture\" }");
    const ProgramRun r = run(false, {"-i", "scene.orv", "-w", "100"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.substr(r.out.rfind("\n Parser")), "\n Parser Error - line: 6 -  image width and height must be greater than 0\n");
    EXPECT_FALSE(exists("picture.ppm"));
}

// parseArgs on its own: what each option writes, in command-line order.
class ParseArgs : public testing::Test {
protected:
    void SetUp() override {
        setStartupDefaults();
        myDisplay = {};
        inputFileName[0] = '\0';
        numThreads = 2;
        iPQSize = 128;
        jitter = 0;
        edition = Edition::multi;
    }
    void TearDown() override { edition = Edition::single; }

    static void parse(std::vector<std::string> args) {
        args.insert(args.begin(), "orvel");
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        parseArgs(static_cast<int>(argv.size()), argv.data());
    }
};

TEST_F(ParseArgs, ValuesLandInTheSettings) {
    parse({"-i", "a.orv", "-o", "pic", "-w", "640", "-h", "100", "-j", "-aaa", "5", "-png"});
    EXPECT_STREQ(inputFileName, "a.orv");
    EXPECT_STREQ(myDisplay.outputName, "pic");
    EXPECT_EQ(myDisplay.width, 640);
    EXPECT_EQ(myDisplay.height, 100);  // -h is the height
    EXPECT_EQ(jitter, 1);
    EXPECT_EQ(iAntialias, 2);
    EXPECT_EQ(adapt_dist, 5);
    EXPECT_EQ(iImageType, 3);
    parse({"--input", "b.orv", "--output", "x", "--resolution", "32", "24", "--aaquick", "--tga", "ignored"});
    EXPECT_STREQ(inputFileName, "b.orv");
    EXPECT_EQ(myDisplay.width, 32);
    EXPECT_EQ(myDisplay.height, 24);
    EXPECT_EQ(iAntialias, 1);
    EXPECT_EQ(iImageType, 0);
    const std::pair<const char*, int> formats[] = {{"-tga", 0}, {"--bmp", 1}, {"-ppm", 2}, {"--png", 3}, {"-jpg", 4},
                                                   {"--jpeg", 4}, {"-bmp", 1}};
    for (const auto& [option, type] : formats) {
        parse({option, "-i", "a.orv"});
        EXPECT_EQ(iImageType, type) << option;
    }
}

TEST_F(ParseArgs, LaterOptionsWin) {
    parse({"-i", "a.orv", "-aaq", "-w", "10", "-aan", "-r", "5", "6", "--width", "7", "-i", "b.orv"});
    EXPECT_EQ(iAntialias, 0);
    EXPECT_EQ(myDisplay.width, 7);
    EXPECT_EQ(myDisplay.height, 6);
    EXPECT_STREQ(inputFileName, "b.orv");
    parse({"-aaa", "-3", "-i", "a.orv"});  // only 0 is refused
    EXPECT_EQ(adapt_dist, -3);
}

TEST_F(ParseArgs, ThreadAndQueueSizeFallBackWithAMessage) {
    testing::internal::CaptureStdout();
    parse({"-i", "a.orv", "-t", "8", "-pqs", "101"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(numThreads, 8);
    EXPECT_EQ(iPQSize, 101);
    testing::internal::CaptureStdout();
    parse({"-i", "a.orv", "--thread", "3", "--pqsize", "100"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n");
    EXPECT_EQ(numThreads, 2);
    EXPECT_EQ(iPQSize, 100);
    testing::internal::CaptureStdout();
    parse({"-i", "a.orv", "-t", "x", "-pqs", "-7"});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(numThreads, 2);
    EXPECT_EQ(iPQSize, 100);
}

TEST_F(ParseArgs, NamesUpToTheirBufferSizeAreTaken) {
    const std::string output(255, 'o');
    const std::string input(511, 'i');
    parse({"-o", output, "-i", input});
    EXPECT_EQ(std::string(myDisplay.outputName), output);
    EXPECT_EQ(std::string(inputFileName), input);
    const std::string out = abortOutput([&] { parse({"-o", output + "o", "-i", input}); });
    EXPECT_EQ(out, "\n Output file name too long (at most 255 characters)\n");
}

}  // namespace
