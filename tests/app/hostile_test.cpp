// Inputs a careless or hostile user can give the programs. Each either renders (degenerate but
// legal scenes) or ends at once with a message naming the problem and a non-zero status, never a
// signal, a hang or a partly written image.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* head =
    "camera { position <0 -10 2> look_at <0 0 0> }\n"
    "settings { output_type \"ppm\" output_name \"out\" resolution 8 6 background 0.2 0.4 0.6 }\n"
    "surface { color 1 0 0 ambient 0.2 diffuse 0.8 specular 0.5 roughness 10 reflection 0.3 }\n"
    "light { position <0 -10 10> color 1 1 1 }\n"
    "light { position <3 -10 10> color 1 1 1 shadow_type \"smooth\" radius 1 samples 4 }\n";

// The size of the head's 8 x 6 picture: the PPM header and three bytes a pixel.
constexpr std::size_t ppmBytes = 11 + 8 * 6 * 3;

struct Case {
    std::string scene;              // written to scene.orv
    std::vector<std::string> args;  // after -i scene.orv
    std::string tail;               // what standard output ends with
    int status;
};

class HostileInput : public testing::Test {
protected:
    // Runs the program on the case from the temporary directory and checks the status, the end
    // of what it printed, that it was quick, and that a failed run left no file behind.
    ProgramRun expect(const Case& c, bool multi = false) {
        std::ofstream(dir_.path("scene.orv"), std::ios::binary) << c.scene;
        std::vector<std::string> args{"-i", "scene.orv"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto start = std::chrono::steady_clock::now();
        const ProgramRun run = runProgram(orvelProgram(multi), args, dir_.path("."));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string what = c.scene.substr(0, 200) + (c.args.empty() ? "" : " " + c.args[0]);
        EXPECT_EQ(run.status, c.status) << what << run.out;
        EXPECT_LT(seconds, 20.0) << what;
        EXPECT_GE(run.out.size(), c.tail.size()) << what;
        EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), c.tail.size())), c.tail) << what;
        if (c.status != 0) {
            EXPECT_EQ(outputFiles(), std::vector<std::string>{}) << what;
        }
        return run;
    }

    // The files in the directory besides the scene files.
    std::vector<std::string> outputFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path("."))) {
            if (entry.path().extension() != ".orv") names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::vector<unsigned char> takeImage(const std::string& name) {
        std::vector<unsigned char> bytes = readFileBytes(dir_.path(name));
        fs::remove(dir_.path(name));
        return bytes;
    }

    TempDir dir_;
};

std::string sideLimit(const std::string& size) {
    return " Image size " + size + " is too large: at most 65535 pixels a side\n";
}

std::string parseError(int line, const std::string& message) {
    return "\n Parser Error - line: " + std::to_string(line) + " - " + message + "\n";
}

TEST_F(HostileInput, ResolutionsOutOfReasonEndAtOnce) {
    const std::string scene = head;
    const std::string huge = std::string(head) + "settings { output_type \"png\" output_name \"out\" "
                                                 "resolution 100000 100000 }\n";
    const Case cases[] = {
        {scene, {"-r", "100000", "100000"}, sideLimit("100000 x 100000"), 1},
        {scene, {"-r", "2000000000", "2"}, sideLimit("2000000000 x 2"), 1},
        {scene, {"-r", "2", "2000000000"}, sideLimit("2 x 2000000000"), 1},
        {scene, {"-r", "100000", "100000", "-png"}, sideLimit("100000 x 100000"), 1},
        {scene, {"-r", "2000000", "2", "-png"}, " Image size 2000000 x 2 is too large for PNG\n", 1},
        {scene, {"-h", "-3"}, "\n Invalid image size given with -h: width and height must be greater than 0\n", 255},
        {scene, {"-r", "9999999999", "9"}, sideLimit("2147483647 x 9"), 1},  // held at the int's limit
        {huge, {}, sideLimit("100000 x 100000"), 1},
        {std::string(head) + "settings { output_type \"png\" output_name \"out\" resolution 640 -480 }", {},
         parseError(6, " image width and height must be greater than 0"), 255},
        {std::string(head) + "settings { resolution 0 0 }", {}, parseError(6, " image width and height must be greater than 0"), 255},
        {std::string(head) + "settings { resolution 99999999999 2 }", {}, parseError(6, " number out of range: 99999999999"), 255},
    };
    for (const Case& c : cases) {
        expect(c);
        expect(c, true);
    }
    // The command line wins over an enormous size in the scene.
    expect({huge, {"-r", "8", "6"}, "", 0});
    EXPECT_EQ(takeImage("out.png").empty(), false);
}

TEST_F(HostileInput, AnOutputThatCannotBeCreatedEndsBeforeRendering) {
    const Case cases[] = {
        {head, {"-o", "missing/out"}, " Cannot create image file: missing/out.ppm (No such file or directory)\n", 1},
        {head, {"-o", "scene.orv/out"}, " Cannot create image file: scene.orv/out.ppm (Not a directory)\n", 1},
        {head, {"-o", std::string(255, 'n')},
         " Cannot create image file: " + std::string(255, 'n') + ".ppm (File name too long)\n", 1},
    };
    for (const Case& c : cases) {
        const ProgramRun run = expect(c);
        EXPECT_EQ(run.out.find("0%--"), std::string::npos) << c.args[1];
    }
}

TEST_F(HostileInput, NamesLongerThanTheirBuffers) {
    const std::string word(256, 'w');
    const Case cases[] = {
        {std::string(head) + "settings { output_type \"png\" output_name \"" + word + "\" }", {},
         parseError(6, " word longer than 255 characters"), 255},
        {"declare \"" + std::string(64, 'c') + "\" color 1 0 0\n" + head, {},
         parseError(1, " color name longer than 63 characters"), 255},
        {std::string(head) + "sphere { center <0 0 0> radius 1" + std::string(300, '0') + " }", {},
         parseError(6, " number longer than 255 characters"), 255},
    };
    for (const Case& c : cases) expect(c);
    // A colour name of exactly 63 characters is fine.
    expect({"declare \"" + std::string(63, 'c') + "\" color 1 0 0\n" + head, {}, "", 0});
}

TEST_F(HostileInput, IncludesThatNeverEndAndScenesThatAreNoFiles) {
    expect({head, {"-i", "."}, "\n Scene file: . is a directory\n", 255});
    expect({"include \"scene.orv\"\n" + std::string(head), {}, parseError(1, " include chain deeper than 64 files"), 255});
    std::ofstream(dir_.path("other.orv")) << "include \"scene.orv\"\n";
    expect({"include \"other.orv\"\n", {}, parseError(1, " include chain deeper than 64 files"), 255});
}

TEST_F(HostileInput, UnterminatedCommentsRunToTheEndOfTheFile) {
    // What stands after the opening bracket is gone: the scene renders without it or lacks a block.
    expect({std::string(head) + "[ sphere { center <0 0 0> radius 1 }", {}, "", 0});
    EXPECT_FALSE(takeImage("out.ppm").empty());
    expect({std::string(head) + "; the last line has no line end", {}, "", 0});
    EXPECT_FALSE(takeImage("out.ppm").empty());
    expect({"[ " + std::string(head), {}, "\n Parsing scene.orv Missing camera!", 255});
    expect({std::string(head) + "sphere { center <0 0 0> [ radius 1 }", {},
            parseError(6, " Unkown parameter in sphere structure"), 255});
    expect({std::string(head) + "settings { output_type \"png\" output_name \"out", {},
            parseError(6, " '\"' string delimiter expected"), 255});
}

TEST_F(HostileInput, AbsurdPolygonVertexCounts) {
    const Case cases[] = {
        {std::string(head) + "polygon { 2147483647 vertex <0 0 0> vertex <1 0 0> }", {},
         parseError(6, " Too few vertices in polygon structure"), 255},
        {std::string(head) + "polygon { 99999999999 vertex <0 0 0> }", {}, parseError(6, " number out of range: 99999999999"), 255},
        {std::string(head) + "polygon { -4 vertex <0 0 0> }", {}, parseError(6, " valid number of vertices expected"), 255},
    };
    for (const Case& c : cases) expect(c);
    // A large but real outline renders.
    std::string star = std::string(head) + "polygon { 5000\n";
    for (int k = 0; k < 5000; ++k) {
        const double angle = k * 2 * 3.141592653589793 / 5000;
        const double radius = k % 2 ? 1.0 : 2.0;
        star += "vertex <" + std::to_string(radius * std::cos(angle)) + " 0 " + std::to_string(radius * std::sin(angle)) + ">\n";
    }
    expect({star + "}", {}, "", 0});
    EXPECT_FALSE(takeImage("out.ppm").empty());
}

TEST_F(HostileInput, DegenerateObjectsRenderAndNeverAppear) {
    expect({head, {"-aaa", "1"}, "", 0});
    const std::vector<unsigned char> empty = takeImage("out.ppm");
    ASSERT_EQ(empty.size(), ppmBytes);
    const std::string objects[] = {
        "cone { base <0 0 0> cap <0 0 0> base_radius 1 cap_radius 0.5 }",
        "cone { base <0 0 0> cap <0 0 0> base_radius 1 cap_radius 1 }",
        "cylinder { base <0 0 0> cap <0 0 0> radius 1 }",
        "triangle { vertex <-1 0 -1> vertex <0 0 0> vertex <1 0 1> }",
        "triangle { vertex <0 0 0> vertex <0 0 0> vertex <0 0 0> }",
        "polygon { 4 vertex <-1 0 0> vertex <0 0 0> vertex <1 0 0> vertex <0 0 1> }",
        "patch { vertex <-1 0 -1> normal <0 -1 0> vertex <0 0 0> normal <0 -1 0> vertex <1 0 1> normal <0 -1 0> }",
        "patch { vertex <-1 0 -1> normal <0 0 0> vertex <0 0 0> normal <0 0 0> vertex <1 0 1> normal <0 0 0> }",
    };
    for (const std::string& object : objects) {
        expect({std::string(head) + object, {"-aaa", "1"}, "", 0});
        EXPECT_EQ(takeImage("out.ppm"), empty) << object;
    }
    // A patch with proper corners but zero normals is drawn; its shading has nothing to go by.
    expect({std::string(head) + "patch { vertex <-3 0 -3> normal <0 0 0> vertex <3 0 -3> normal <0 0 0> "
                                "vertex <0 0 3> normal <0 0 0> }", {}, "", 0});
    EXPECT_EQ(takeImage("out.ppm").size(), empty.size());
}

TEST_F(HostileInput, NumbersBeyondTheDoubleRange) {
    const Case cases[] = {
        {std::string(head) + "sphere { center <0 0 0> radius 1e999 }", {}, parseError(6, " number out of range: 1e999"), 255},
        {std::string(head) + "sphere { center <nan 0 0> radius 1 }", {}, parseError(6, " x component expected"), 255},
        {std::string(head) + "sphere { center <0 0 0> radius 1e-999 }", {}, parseError(6, " sphere radius must be greater than 0"), 255},
    };
    for (const Case& c : cases) expect(c);
    // Huge finite values render: the pixels are whatever the arithmetic gives, the run is clean.
    const std::string huge[] = {
        "sphere { center <0 0 0> radius 1e300 }",
        "light { position <1e308 -1e308 1e308> color 1e308 1e308 1e308 }\nsphere { center <0 0 0> radius 1 }",
        "plane { normal <1e300 1e300 0> distance 1e308 }",
    };
    for (const std::string& object : huge) {
        expect({std::string(head) + object, {"-aaa", "1", "-j"}, "", 0});
        EXPECT_EQ(takeImage("out.ppm").size(), ppmBytes) << object;
    }
}

TEST_F(HostileInput, ASceneWithoutObjectsRendersTheBackground) {
    const std::string header = "P6\n8 6\n255\n";
    std::vector<unsigned char> background(header.begin(), header.end());
    for (int k = 0; k < 8 * 6; ++k) background.insert(background.end(), {51, 102, 153});
    expect({head, {}, "", 0});
    EXPECT_EQ(takeImage("out.ppm"), background);
    expect({head, {"-t", "8", "-aaq"}, "", 0}, true);
    EXPECT_EQ(takeImage("out.ppm"), background);
}

TEST_F(HostileInput, ARenderEndedBySignalLeavesNoImage) {
    std::ofstream(dir_.path("scene.orv")) << head << "sphere { center <0 0 0> radius 1 }\n";
    for (const auto& [multi, signal] : {std::pair{false, SIGINT}, std::pair{true, SIGTERM}, std::pair{false, SIGHUP}}) {
        // Far too big to finish before the signal comes: the image file exists from the start.
        const std::string program = orvelProgram(multi);
        std::vector<std::string> args{program, "-i", "scene.orv", "-r", "4000", "4000", "-aaa", "1"};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.path(".").c_str());
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        for (int wait = 0; wait < 1000 && !fs::exists(dir_.path("out.ppm")); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(fs::exists(dir_.path("out.ppm"))) << signal;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_EQ(outputFiles(), std::vector<std::string>{}) << signal;
    }
}

}  // namespace
