// What a new user meets around a render: --version, scenes that include files from elsewhere, the
// progress bar on a pipe, an earlier picture that an interrupted render must not destroy, and the
// installed programs.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "scene/lexer.h"
#include "support/files.h"
#include "support/parse_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST(UserRun, VersionNamesTheImageLibraries) {
    TempDir dir;
    const ProgramRun run = runProgram(orvelProgram(true), {"--version"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with(banner(true) + " libpng " + png_get_libpng_ver(nullptr) + ", libjpeg") &&
                std::count(run.out.begin(), run.out.end(), '\n') == 3)
        << run.out;
}

// An include that the working directory does not have is found beside the including file, also
// from an included file; where the working directory has it, that file is read, as it always was.
// (A name in quotes holds no '/': an include names a file, never a path.)
TEST(UserRun, IncludesAreFoundBesideTheIncludingFile) {
    TempDir dir;
    fs::create_directories(dir.path("scenes"));
    std::ofstream(dir.path("scenes/main.orv")) << "include \"objects.orv\"\n" << sceneBase;
    std::ofstream(dir.path("scenes/objects.orv")) << "include \"colours.orv\"\n";
    std::ofstream(dir.path("scenes/colours.orv")) << "declare \"red\" color 1 0 0\n";
    ProgramRun run = runProgram(orvelProgram(false), {"-i", "scenes/main.orv", "-r", "4", "3"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\n Parsing scenes/main.orv\n Parsing scenes/objects.orv\n Parsing scenes/colours.orv Warning"),
              std::string::npos)
        << run.out;

    // Both places hold objects.orv: the one in the working directory is read.
    std::ofstream(dir.path("objects.orv")) << "sphere { center <0 0 0> radius 1 }\n";
    run = runProgram(orvelProgram(false), {"-i", "scenes/main.orv", "-r", "4", "3"}, dir.path());
    EXPECT_TRUE(run.out.find("\n Parsing scenes/main.orv\n Parsing objects.orv Warning") != std::string::npos &&
                run.out.find(" Number of sphere(s):\t\t1\n") != std::string::npos)
        << run.out;
}

// A bar of ten ticks (ten rows), as bytes 0xB1 on a pipe.
TEST(UserRun, ProgressTicksOnAPipe) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    std::vector<std::string> command = builtCommand(orvelProgram(false), {"-i", "scene.orv", "-r", "4", "10"});
    command.insert(command.begin(), {"/bin/sh", "-c", "\"$@\" | cat", "sh"});
    const std::string out = runCommand(command, dir.path()).out;
    EXPECT_NE(out.find("\n 0%" + std::string(54, '-') + "100%\n " + std::string(60, '\xB1') + "\n\n Rendering time:"),
              std::string::npos)
        << out;
}

// A render ended by a kill, Ctrl-C or kill -9 once it has started leaves no picture where there
// was none, and an earlier picture of the same name as it was, and nothing else but the journal of
// its rows; only kill -9, on a file system without unnamed files, may leave the hidden temporary
// file.
TEST(UserRun, AnInterruptedRenderKeepsTheEarlierPicture) {
    TempDir dir, logs;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    const std::string log = logs.path("log.txt");
    std::string earlier;
    for (const auto& [multi, signal] : {std::pair{true, SIGTERM}, std::pair{false, SIGINT}, std::pair{false, SIGKILL}}) {
        // Far too big to finish before the signal: the render is under way once the bar is out.
        const pid_t pid =
            startCommand(builtCommand(orvelProgram(multi), {"-i", "scene.orv", "-r", "4000", "4000", "-aaa", "1", "-ppm"}),
                         dir.path(), log.c_str());
        ASSERT_NE(pid, 0);
        for (int wait = 0; wait < 2000 && readWholeFile(log).find("100%") == std::string::npos; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_NE(readWholeFile(log).find("100%"), std::string::npos) << signal;
        EXPECT_TRUE(earlier.empty() ? !fs::exists(dir.path("out.ppm")) : readWholeFile(dir.path("out.ppm")) == earlier);
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name == "scene.orv" || (name == "out.ppm" && !earlier.empty()) || name == ".out.ppm.journal" ||
                        (signal == SIGKILL && !offersUnnamedFiles(dir.path()) && name.starts_with(".out.ppm.")))
                << signal << " left " << name;
        }
        if (earlier.empty()) {
            ASSERT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "16", "12", "-ppm"}, dir.path()).status, 0);
            earlier = readWholeFile(dir.path("out.ppm"));
        }
    }
}

// `cmake --install` into a scratch prefix: the programs, the manual pages, the scenes and the
// language reference are there, and the installed program renders an installed scene that
// includes another one.
TEST(UserInstall, TheInstalledProgramRendersAnInstalledScene) {
    TempDir prefix, work;
    const ProgramRun install =
        runCommand({ORVEL_CMAKE_COMMAND, "--install", ORVEL_BINARY_DIR, "--prefix", prefix.path()}, work.path());
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* file : {"bin/orvel", "bin/orvel-mt", "share/man/man1/orvel.1", "share/orvel/scenes/showcase.orv",
                             "share/orvel/scenes/palette.orv", "share/doc/orvel/language.md"})
        EXPECT_TRUE(fs::is_regular_file(prefix.path(file))) << file;
    EXPECT_EQ(fs::read_symlink(prefix.path("share/man/man1/orvel-mt.1")), "orvel.1");
    const ProgramRun run =
        runProgram(prefix.path("bin/orvel-mt"),
                   {"-i", prefix.path("share/orvel/scenes/include_declare.orv"), "-r", "8", "6", "-o", "pic"}, work.path());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(fs::is_regular_file(work.path("pic.png")));
}

// The language reference names every keyword of the lexer's table, as `word`.
TEST(LanguageReference, NamesEveryKeyword) {
    const std::string reference = readWholeFile(std::string(ORVEL_SOURCE_DIR) + "/docs/language.md");
    ASSERT_FALSE(reference.empty());
    for (const MotCle& keyword : liste_motcle)
        EXPECT_NE(reference.find(std::string("`") + keyword.mot + "`"), std::string::npos) << keyword.mot;
}

}  // namespace
