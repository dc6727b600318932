// Inputs a careless or hostile user can give the programs. Each either renders (degenerate but
// legal scenes) or ends at once with a message naming the problem and a non-zero status, never a
// signal, a hang or a partly written image.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace {

constexpr const char* head =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"ppm\" output_name \"out\" resolution 8 6 background 0.2 0.4 0.6 }\n"
    "surface { color 1 0 0 ambient 0.2 diffuse 0.8 specular 0.5 roughness 10 reflection 0.3 }\n"
    "light { position <0 -10 10> color 1 1 1 }\n"
    "light { position <3 -10 10> color 1 1 1 shadow_type \"smooth\" radius 1 samples 4 }\n";

// Runs both programs on the scene with the options, in an empty directory, and checks the status,
// the end of what they printed, that they were quick, and that a failed run left no file behind;
// returns the image the single-threaded run left, if any.
std::string expectRun(const std::string& scene, std::vector<std::string> args, const std::string& tail, int status) {
    TempDir in, out;
    std::ofstream(in.path("scene.orv"), std::ios::binary) << scene;
    args.insert(args.begin(), {"-i", in.path("scene.orv")});
    const std::string what = args.back() + " " + scene.substr(std::string(head).size() - 20);
    std::string image;
    for (const bool multi : {true, false}) {
        const auto start = std::chrono::steady_clock::now();
        const ProgramRun run = runProgram(orvelProgram(multi), args, out.path());
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0) << what;
        EXPECT_EQ(run.status, status) << what << run.out;
        EXPECT_TRUE(run.out.ends_with(tail)) << what << run.out;
        image = readWholeFile(out.path("out.ppm"));
        std::filesystem::remove(out.path("out.ppm"));
        EXPECT_TRUE(status == 0 ? !image.empty() : out.empty()) << what;
    }
    return image;
}

TEST(HostileInput, EndsAtOnceWithAMessageOrRendersCleanly) {
    std::string background = "P6\n8 6\n255\n";  // the picture of a scene without objects
    for (int k = 0; k < 8 * 6; ++k) background += "\x33\x66\x99";
    const std::string tooLarge = " is too large: at most 65535 pixels a side\n", scene = head;
    const struct {
        std::string scene;
        std::vector<std::string> args;
        std::string tail;  // what standard output ends with
        int status;
        std::string image;  // "?": any image
    } cases[] = {
        {scene, {"-r", "100000", "100000"}, " Image size 100000 x 100000" + tooLarge, 1, ""},
        {scene, {"-r", "9999999999", "9"}, " Image size 2147483647 x 9" + tooLarge, 1, ""},  // held at the int's limit
        {scene + "settings { output_type \"png\" output_name \"out\" resolution 100000 100000 }",
         {},
         " Image size 100000 x 100000" + tooLarge,
         1,
         ""},
        {scene, {"-o", "missing/out"}, " Cannot create image file: missing/out.ppm (No such file or directory)\n", 1, ""},
        {scene,
         {"-o", std::string(255, 'n')},
         " Cannot create image file: " + std::string(255, 'n') + ".ppm (File name too long)\n",
         1,
         ""},
        {"[ " + scene, {}, ".orv Missing camera!", 255, ""},  // a comment to the end of the file
        {scene + "sphere { center <nan 0 0> radius 1 }", {}, "\n Parser Error - line: 6 -  x component expected\n", 255, ""},
        {scene, {"-aaq"}, "", 0, background},
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
        const std::string image = expectRun(c.scene, c.args, c.tail, c.status);
        EXPECT_TRUE(c.image == "?" ? image.size() == background.size() : image == c.image) << c.scene << c.tail;
    }
}

}  // namespace
