// The command line, and inputs a careless or hostile user can give: each run either renders or
// ends at once with a message naming the problem and a non-zero status, never a signal or a
// partly written image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main.h"
#include "support/files.h"
#include "support/parse_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string usage(bool multi) { return usageText(multi ? "-multithreaded" : ""); }

constexpr const char* head =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"ppm\" output_name \"out\" resolution 8 6 background 0.2 0.4 0.6 }\n"
    "surface { color 1 0 0 ambient 0.2 diffuse 0.8 specular 0.5 roughness 10 reflection 0.3 }\n"
    "light { position <0 -10 10> color 1 1 1 }\n"
    "light { position <3 -10 10> color 1 1 1 shadow_type \"smooth\" radius 1 samples 4 }\n";

// Each row runs in both programs, in a directory holding small scenes. A failure has its status
// and prints the banner and the usage text (`out` empty) or ends with `out`, and leaves nothing;
// a render (status 0) leaves out.ppm of the size in `out`: the size left when the command line has
// put back its values, whatever an earlier option or the scene gave (320 x 240 when none did).
// Careless or hostile inputs end at once with a message or render cleanly.
TEST(CommandLine, EachRunRendersOrEndsAtOnceWithAMessage) {
    TempDir dir;
    auto badSize = [](const std::string& option) {
        return "\n Invalid image size given with " + option + ": width and height must be greater than 0\n";
    };
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status = 255;
    } cases[] = {
        {{"scene.orv"}, ""},  // a scene named without -i is skipped
        {{"-i", "scene.orv", "-x"}, ""},
        {{"-i", "scene.orv", "-r", "0"}, ""},  // a missing value before a bad one
        // A seed is decimal digits up to the largest 64-bit number.
        {{"-i", "scene.orv", "--seed", "-1"}, ""},
        {{"-i", "scene.orv", "--seed", "18446744073709551616"}, ""},
        {{"-i", "nowhere.orv"}, "\n Scene file: nowhere.orv could no be opened\n"},
        {{"-i", "scene.orv", "--resolution", "10", "abc"}, badSize("--resolution")},
        {{"-i", "scene.orv", "-w", "0"}, badSize("-w")},             // before the scene is read
        {{"-h", "0", "-w", "0", "-i", "scene.orv"}, badSize("-h")},  // of two bad sides, the first given
        {{"-i", "zero.orv", "-w", "8"},
         "\n Parsing zero.orv" + parseError(2, " image width and height must be greater than 0")},
        {{"-i", "scene.orv", "-o", std::string(256, 'o')}, "\n Output file name too long (at most 255 characters)\n"},
        {{"-i", std::string(512, 's')}, "\n Scene file name too long (at most 511 characters)\n"},
        {{"-i", "bad.orv", "-w", "100"},
         "\n Parsing bad.orv\n Syntaxic analyser stopped on character: ','"
         "\n Please review the script\n Parser Error - line: 4\n"},
        {{"-i", "part.orv"}, "\n Parsing part.orv Missing camera!"},
        {{"-i", "scene.orv", "-w", "0", "-w", "8", "-h", "6", "-ppm"}, "8 6", 0},
        {{"-i", "zero.orv", "-h", "6", "--width", "8", "-ppm"}, "8 6", 0},
        {{"-i", "scene.orv", "-w", "80", "-ppm", "--seed", "18446744073709551615"}, "80 240", 0},
        {{"-i", "head.orv", "-r", "65536", "1"}, " Image size 65536 x 1 is too large: at most 65535 pixels a side\n", 1},
        {{"-i", "head.orv", "-o", "missing/out"},
         " Cannot create image file: missing/out.ppm (No such file or directory)\n",
         1},
        {{"-i", "nan.orv"}, "\n Parser Error - line: 6 -  x component expected\n"},
        {{"-i", "degenerate.orv", "-aaq"}, "8 6", 0},
        {{"-i", "huge.orv", "-aaa", "1", "-j"}, "8 6", 0},
    };
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    std::ofstream(dir.path("bad.orv")) << sceneBase << "sphere { center <0 0 0> radius 1, }";
    std::ofstream(dir.path("part.orv")) << "settings { output_type \"png\" output_name \"out\" }\n";
    // An image size that cannot be rendered as it stands (its height is never replaced here).
    std::ofstream(dir.path("zero.orv")) << "camera { position <0 -10 2> look_at <0 0 0> }\n"
                                           "settings { output_type \"png\" output_name \"out\" resolution 0 -1 }\n"
                                           "surface { color 1 1 1 ambient 0.2 diffuse 0.8 }\n";
    std::ofstream(dir.path("head.orv")) << head;
    std::ofstream(dir.path("nan.orv")) << head << "sphere { center <nan 0 0> radius 1 }";
    std::ofstream(dir.path("degenerate.orv")) << head << "cone { base <0 0 0> cap <0 0 0> base_radius 1 cap_radius 0.5 }\n"
                                              << "cylinder { base <0 0 0> cap <0 0 0> radius 1 }";
    std::ofstream(dir.path("huge.orv")) << head << "sphere { center <0 0 0> radius 1e300 }\n"
                                        << "light { position <1e308 -1e308 1e308> color 1e308 1e308 1e308 }\n"
                                        << "plane { normal <1e300 1e300 0> distance 1e308 }";
    const auto files = [&] { return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()); };
    const auto scenes = files();
    for (const auto& c : cases) {
        std::string what;
        for (const std::string& arg : c.args) what.append(" ").append(arg, 0, 20);
        for (const bool multi : {false, true}) {
            const ProgramRun run = runProgram(orvelProgram(multi), c.args, dir.path());
            EXPECT_EQ(run.status, c.status) << what << run.out;
            if (c.status == 0) {
                EXPECT_TRUE(readWholeFile(dir.path("out.ppm")).starts_with("P6\n" + c.out + "\n255\n")) << what;
                fs::remove(dir.path("out.ppm"));
            } else {
                EXPECT_TRUE(c.out.empty() ? run.out == banner(multi) + usage(multi) : run.out.ends_with(c.out))
                    << what << run.out;
            }
            EXPECT_EQ(files(), scenes) << what;  // nothing else, of a failed run nothing at all
        }
    }
    EXPECT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-t", "4"}, dir.path()).out, banner(false) + usage(false));
}

// An allocation failure that nothing else catches ends the run with a message and status 1, never
// with an uncaught exception.
TEST(CommandLine, AnAllocationFailureEndsTheRunWithAMessage) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    std::vector<std::string> args = {"orvel", "-i", dir.path("scene.orv")};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    const int status = orvelMain(3, argv.data(), Edition::single, [] { throw std::bad_alloc(); });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(out.ends_with(" Number of primitives:\t\t0\n\n\n Not enough memory\n")) << out;
}

}  // namespace
