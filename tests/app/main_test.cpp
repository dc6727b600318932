#include "app/main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/parse_fixture.h"

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

// Each row runs in both programs, in a directory holding a small scene: the status must be 255,
// and the output the banner and then `out` (the usage text when out is empty), with no image.
TEST(CommandLine, FailuresBeforeAnyImage) {
    TempDir dir;
    const std::string tooLong = "\n Output file name too long (at most 255 characters)\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""}, {{"-i", "scene.orv", "--help"}, ""}, {{"/?", "-i", "scene.orv"}, ""},
        {{"scene.orv"}, ""},  // a scene named without -i is skipped
        {{"-i", "scene.orv", "-x"}, ""}, {{"-i", "scene.orv", "-o"}, ""}, {{"-i", "scene.orv", "-r", "10"}, ""},
        {{"-i", "scene.orv", "-aaa", "0"}, ""},
        {{"-i", "nowhere.orv"}, "\n Scene file: nowhere.orv could no be opened\n"},
        {{"-i", "scene.orv", "-w", "0"}, "\n Invalid image size given with -w: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "--resolution", "10", "abc"},
         "\n Invalid image size given with --resolution: width and height must be greater than 0\n"},
        {{"-i", "scene.orv", "-o", std::string(256, 'o')}, tooLong},
        {{"-i", std::string(512, 's')}, "\n Scene file name too long (at most 511 characters)\n"},
        {{"-i", "bad.orv", "-w", "100"}, "\n Parsing bad.orv\n Syntaxic analyser stopped on character: ','"
                                         "\n Please review the script\n Parser Error - line: 4\n"},
        {{"-i", "part.orv"}, "\n Parsing part.orv Missing camera!"},
    };
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    std::ofstream(dir.path("bad.orv")) << sceneBase << "sphere { center <0 0 0> radius 1, }";
    std::ofstream(dir.path("part.orv")) << "settings { output_type \"png\" output_name \"out\" }\n";
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

}  // namespace
