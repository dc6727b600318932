// The command line, and inputs a careless or hostile user can give: each run either renders or
// ends at once with a message naming the problem and a non-zero status, never a signal or a
// partly written image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/parse_fixture.h"

namespace fs = std::filesystem;

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
    auto badSize = [](const std::string& option) {
        return "\n Invalid image size given with " + option + ": width and height must be greater than 0\n";
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"/?", "-i", "scene.orv"}, ""},
        {{"scene.orv"}, ""},  // a scene named without -i is skipped
        {{"-i", "scene.orv", "-x"}, ""},
        {{"-i", "scene.orv", "-r", "0"}, ""},  // a missing value before a bad one
        {{"-i", "scene.orv", "--seed"}, ""},
        // A seed is decimal digits up to the largest 64-bit number.
        {{"-i", "scene.orv", "--seed", "-1"}, ""},
        {{"-i", "scene.orv", "--seed", "+1"}, ""},
        {{"-i", "scene.orv", "--seed", " 1"}, ""},
        {{"-i", "scene.orv", "--seed", "1e3"}, ""},
        {{"-i", "scene.orv", "--seed", "18446744073709551616"}, ""},
        {{"-i", "nowhere.orv"}, "\n Scene file: nowhere.orv could no be opened\n"},
        {{"-i", "scene.orv", "--resolution", "10", "abc"}, badSize("--resolution")},
        // The final values count; of two bad sides, the one given first is named.
        {{"-i", "scene.orv", "-w", "8", "-w", "0"}, badSize("-w")},
        {{"-h", "0", "-w", "0", "-i", "scene.orv"}, badSize("-h")},
        {{"-i", "zero.orv", "-w", "8"},
         "\n Parsing zero.orv" + parseError(2, " image width and height must be greater than 0")},
        {{"-i", "scene.orv", "-o", std::string(256, 'o')}, "\n Output file name too long (at most 255 characters)\n"},
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
    EXPECT_FALSE(fs::exists(dir.path("out.png")));
}

// The size rendered is the one left when the command line has put back its values, whatever an
// earlier option or the scene gave before (a settings block without a size: 320 x 240); of the
// anti-aliasing options the last counts.
TEST(CommandLine, TheFinalValuesCount) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    std::ofstream(dir.path("zero.orv")) << zeroSize;
    const std::pair<std::vector<std::string>, std::string> sizes[] = {
        {{"-i", "scene.orv", "-w", "0", "-w", "8", "-h", "6"}, "8 6"},
        {{"-i", "zero.orv", "-r", "8", "6"}, "8 6"},
        {{"-i", "zero.orv", "-h", "6", "--width", "8"}, "8 6"},
        {{"-i", "scene.orv", "-w", "80"}, "80 240"},
    };
    for (auto [args, size] : sizes) {
        args.insert(args.end(), {"-ppm", "-o", "pic"});
        for (const bool multi : {false, true}) {
            EXPECT_EQ(runProgram(orvelProgram(multi), args, dir.path()).status, 0) << args[1] << " " << args[2];
            EXPECT_TRUE(readWholeFile(dir.path("pic.ppm")).starts_with("P6\n" + size + "\n255\n"))
                << args[1] << " " << args[2];
            fs::remove(dir.path("pic.ppm"));
        }
    }
    auto render = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-i", "scene.orv", "-r", "32", "24", "-ppm", "-o", "pic"});
        EXPECT_EQ(runProgram(orvelProgram(false), args, dir.path()).status, 0);
        return readWholeFile(dir.path("pic.ppm"));
    };
    const std::string plain = render({});
    EXPECT_EQ(render({"-aaq", "-aan"}), plain);
    EXPECT_NE(render({"-aan", "-aaq"}), plain);
    // Option messages come once per pass over the command line: before and after the scene.
    const std::string out =
        runProgram(orvelProgram(true), {"-i", "scene.orv", "-r", "16", "12", "-t", "3", "-pqs", "100"}, dir.path()).out;
    const std::string messages =
        " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n";
    const auto first = out.find(messages), second = out.find(messages, first + 1);
    EXPECT_TRUE(first < out.find(" Parsing") && second > out.find(" Number of light(s)") && second != std::string::npos &&
                out.find(" Running 2 threads\n") != std::string::npos)
        << out;
}

constexpr const char* head =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"ppm\" output_name \"out\" resolution 8 6 background 0.2 0.4 0.6 }\n"
    "surface { color 1 0 0 ambient 0.2 diffuse 0.8 specular 0.5 roughness 10 reflection 0.3 }\n"
    "light { position <0 -10 10> color 1 1 1 }\n"
    "light { position <3 -10 10> color 1 1 1 shadow_type \"smooth\" radius 1 samples 4 }\n";

TEST(HostileInput, EndsAtOnceWithAMessageOrRendersCleanly) {
    std::string background = "P6\n8 6\n255\n";  // the picture of a scene without objects
    for (int k = 0; k < 8 * 6; ++k) background += "\x33\x66\x99";
    const std::string tooLarge = " is too large: at most 65535 pixels a side\n", scene = head;
    const struct {
        std::string scene;
        std::vector<std::string> args;
        std::string tail;  // what standard output ends with
        int status;
        std::string image;  // "?": any image of the size
    } cases[] = {
        {scene, {"-r", "65536", "1"}, " Image size 65536 x 1" + tooLarge, 1, ""},
        {scene, {"-r", "9999999999", "9"}, " Image size 2147483647 x 9" + tooLarge, 1, ""},  // held at the int's limit
        {scene + "settings { output_type \"png\" output_name \"out\" resolution 100000 100000 }",
         {},
         " Image size 100000 x 100000" + tooLarge,
         1,
         ""},
        {scene, {"-o", "missing/out"}, " Cannot create image file: missing/out.ppm (No such file or directory)\n", 1, ""},
        {"[ " + scene, {}, ".orv Missing camera!", 255, ""},  // a comment to the end of the file
        {scene + "sphere { center <nan 0 0> radius 1 }", {}, "\n Parser Error - line: 6 -  x component expected\n", 255, ""},
        {scene + "[ sphere { center <0 0 0> radius 1 }", {"-aaq"}, "", 0, background},
        // Objects without a surface never appear.
        {scene + "cone { base <0 0 0> cap <0 0 0> base_radius 1 cap_radius 0.5 }\n"
                 "cylinder { base <0 0 0> cap <0 0 0> radius 1 }\n"
                 "triangle { vertex <-1 0 -1> vertex <0 0 0> vertex <1 0 1> }\n"
                 "triangle { vertex <0 0 0> vertex <0 0 0> vertex <0 0 0> }\n"
                 "polygon { 4 vertex <-1 0 0> vertex <0 0 0> vertex <1 0 0> vertex <0 0 1> }\n"
                 "patch { vertex <-1 0 -1> normal <0 -1 0> vertex <0 0 0> normal <0 -1 0> vertex <1 0 1> normal <0 -1 0> }",
         {"-aaq"},
         "",
         0,
         background},
        // Huge finite values and zero normals: the pixels are whatever the arithmetic gives.
        {scene + "sphere { center <0 0 0> radius 1e300 }\n"
                 "light { position <1e308 -1e308 1e308> color 1e308 1e308 1e308 }\n"
                 "plane { normal <1e300 1e300 0> distance 1e308 }\n"
                 "patch { vertex <-3 0 -3> normal <0 0 0> vertex <3 0 -3> normal <0 0 0> vertex <0 0 3> normal <0 0 0> }",
         {"-aaa", "1", "-j"},
         "",
         0,
         "?"},
    };
    for (const auto& c : cases) {
        TempDir in, out;
        std::ofstream(in.path("scene.orv"), std::ios::binary) << c.scene;
        std::vector<std::string> args = {"-i", in.path("scene.orv")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string what = c.tail + c.scene.substr(std::string(head).size() - 20);
        for (const bool multi : {true, false}) {
            const ProgramRun run = runProgram(orvelProgram(multi), args, out.path());
            EXPECT_EQ(run.status, c.status) << what << run.out;
            EXPECT_TRUE(run.out.ends_with(c.tail)) << what << run.out;
            const std::string image = readWholeFile(out.path("out.ppm"));
            EXPECT_TRUE(c.image == "?" ? image.size() == background.size() : image == c.image) << what;
            fs::remove(out.path("out.ppm"));
            EXPECT_TRUE(out.empty()) << what;  // nothing else, of a failed run nothing at all
        }
    }
}

}  // namespace
