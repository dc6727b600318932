#include "app/main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/parse_fixture.h"

namespace {

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

// A scene whose image size cannot be rendered as it stands (its height is never replaced here).
constexpr const char* zeroSize =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"png\" output_name \"out\" resolution 0 -1 }\n"
    "surface { color 1 1 1 ambient 0.2 diffuse 0.8 }\n";

// Each row runs in both programs, in a directory holding a small scene: the status must be 255,
// and the output the banner and then `out` (the usage text when out is empty), with no image.
TEST(CommandLine, FailuresBeforeAnyImage) {
    TempDir dir;
    const std::string tooLong = "\n Output file name too long (at most 255 characters)\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"-i", "scene.orv", "--help"}, ""},
        {{"/?", "-i", "scene.orv"}, ""},
        {{"scene.orv"}, ""},  // a scene named without -i is skipped
        {{"-i", "scene.orv", "-x"}, ""},
        {{"-i", "scene.orv", "-o"}, ""},
        {{"-i", "scene.orv", "-r", "10"}, ""},
        {{"-i", "scene.orv", "-r", "0"}, ""},  // a missing value before a bad one
        {{"-i", "scene.orv", "-aaa", "0"}, ""},
        {{"-i", "nowhere.orv"}, "\n Scene file: nowhere.orv could no be opened\n"},
        {{"-i", "scene.orv", "-w", "0"}, "\n Invalid image size given with -w: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "--resolution", "10", "abc"},
         "\n Invalid image size given with --resolution: width and height must be greater than 0\n"},
        // The final values count; of two bad sides, the one given first is named.
        {{"-i", "scene.orv", "-w", "8", "-w", "0"},
         "\n Invalid image size given with -w: width and height must be greater than 0\n"},
        {{"-h", "0", "-w", "0", "-i", "scene.orv"},
         "\n Invalid image size given with -h: width and height must be greater than 0\n"},
        {{"-i", "zero.orv", "-w", "8"},
         "\n Parsing zero.orv" + parseError(2, " image width and height must be greater than 0")},
        {{"-i", "scene.orv", "-o", std::string(256, 'o')}, tooLong},
        {{"-i", std::string(512, 's')}, "\n Scene file name too long (at most 511 characters)\n"},
        {{"-i", "bad.orv", "-w", "100"},
         "\n Parsing bad.orv\n Syntaxic analyser stopped on character: ','"
         "\n Please review the script\n Parser Error - line: 4\n"},
        {{"-i", "part.orv"}, "\n Parsing part.orv Missing camera!"},
    };
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    std::ofstream(dir.path("bad.orv")) << sceneBase << "sphere { center <0 0 0> radius 1, }";
    std::ofstream(dir.path("part.orv")) << "settings { output_type \"png\" output_name \"out\" }\n";
    std::ofstream(dir.path("zero.orv")) << zeroSize;
    for (const auto& [args, out] : cases) {
        for (const bool multi : {false, true}) {
            const ProgramRun run = runProgram(orvelProgram(multi), args, dir.path());
            EXPECT_EQ(run.status, 255) << (args.empty() ? "" : args.back());
            EXPECT_EQ(run.out, banner(multi) + (out.empty() ? usage(multi) : out)) << (args.empty() ? "" : args.back());
        }
    }
    EXPECT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-t", "4"}, dir.path()).out, banner(false) + usage(false));
    EXPECT_FALSE(std::filesystem::exists(dir.path("out.png")));
}

// The size rendered is the one left when the command line has put back its values, whatever an
// earlier option or the scene gave before.
TEST(CommandLine, SizesReplacedBeforeTheRenderAreNotChecked) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    std::ofstream(dir.path("zero.orv")) << zeroSize;
    const std::vector<std::string> cases[] = {
        {"-i", "scene.orv", "-w", "0", "-w", "8", "-h", "6"},
        {"-i", "zero.orv", "-r", "8", "6"},
        {"-i", "zero.orv", "-h", "6", "--width", "8"},
    };
    for (const auto& args : cases) {
        for (const bool multi : {false, true}) {
            std::vector<std::string> ppm = args;
            ppm.push_back("-ppm");
            const ProgramRun run = runProgram(orvelProgram(multi), ppm, dir.path());
            EXPECT_EQ(run.status, 0) << args[1] << " " << args[2] << run.out;
            EXPECT_TRUE(readWholeFile(dir.path("out.ppm")).starts_with("P6\n8 6\n255\n")) << args[1] << " " << args[2];
            std::filesystem::remove(dir.path("out.ppm"));
        }
    }
}

}  // namespace
