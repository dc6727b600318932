// What a new user meets around a render: --version, scenes that include files from elsewhere, the
// progress bar on a pipe, an earlier picture that an interrupted render must not destroy, and the
// installed programs.
#include <gtest/gtest.h>
#include <png.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

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

namespace {

// What a program prints on a terminal of its own (a pseudo-terminal that passes the bytes through
// as they are), to its end.
std::string runOnATerminal(const std::vector<std::string>& command, const std::string& directory) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    termios raw{};
    cfmakeraw(&raw);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, &raw, nullptr);
    if (pid == 0) {
        if (chdir(directory.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    std::string out;
    char buffer[4096];
    for (ssize_t n; pid > 0 && (n = read(terminal, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    if (pid > 0) waitpid(pid, nullptr, 0);
    close(terminal);
    return out;
}

}  // namespace

// A bar of ten ticks (ten rows), each six shaded blocks: bytes 0xB1 on a pipe, U+2592 in UTF-8 on
// a terminal.
TEST(UserRun, ProgressTicksOnAPipeAndOnATerminal) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    const std::vector<std::string> command = builtCommand(orvelProgram(false), {"-i", "scene.orv", "-r", "4", "10"});
    std::vector<std::string> piped = command;
    piped.insert(piped.begin(), {"/bin/sh", "-c", "\"$@\" | cat", "sh"});
    const std::string bar = "\n 0%" + std::string(54, '-') + "100%\n ";
    const std::string pipeOut = runCommand(piped, dir.path()).out;
    EXPECT_NE(pipeOut.find(bar + std::string(60, '\xB1') + "\n\n Rendering time:"), std::string::npos) << pipeOut;
    std::string blocks;
    for (int k = 0; k < 60; ++k) blocks += "\xE2\x96\x92";
    const std::string terminalOut = runOnATerminal(command, dir.path());
    EXPECT_NE(terminalOut.find(bar + blocks + "\n\n Rendering time:"), std::string::npos) << terminalOut;
}

// A render ended by a kill, Ctrl-C, a hang-up or kill -9 once it has started leaves no picture where there
// was none, and an earlier picture of the same name as it was, and nothing else; only kill -9, on
// a file system without unnamed files, may leave the hidden temporary file.
TEST(UserRun, AnInterruptedRenderKeepsTheEarlierPicture) {
    TempDir dir, logs;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    const std::string log = logs.path("log.txt");
    std::string earlier;
    for (const auto& [multi, signal] :
         {std::pair{true, SIGTERM}, std::pair{false, SIGINT}, std::pair{true, SIGHUP}, std::pair{false, SIGKILL}}) {
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
            EXPECT_TRUE(name == "scene.orv" || (name == "out.ppm" && !earlier.empty()) ||
                        (signal == SIGKILL && !offersUnnamedFiles(dir.path()) && name.starts_with(".out.ppm.")))
                << signal << " left " << name;
        }
        if (earlier.empty()) {
            ASSERT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "16", "12", "-ppm"}, dir.path()).status, 0);
            earlier = readWholeFile(dir.path("out.ppm"));
        }
    }
}

// A render started with Ctrl-C ignored (in the background of a shell, under nohup) keeps it
// ignored: the interrupt changes nothing, and the picture is written.
TEST(UserRun, AnIgnoredInterruptStaysIgnored) {
    TempDir dir, logs;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n"
                                         << "plane { normal <0 0 1> distance 1 }\n"
                                         << "light { position <3 -10 10> color 1 1 1 shadow_type \"smooth\" "
                                            "radius 1 samples 64 }\n";
    const std::string log = logs.path("log.txt");
    std::vector<std::string> command = builtCommand(orvelProgram(true), {"-i", "scene.orv", "-r", "400", "400", "-ppm"});
    command.insert(command.begin(), {"/bin/sh", "-c", "trap '' INT; exec \"$@\"", "sh"});
    const pid_t pid = startCommand(command, dir.path(), log.c_str());
    ASSERT_NE(pid, 0);
    for (int wait = 0; wait < 2000 && readWholeFile(log).find("100%") == std::string::npos; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool underWay = readWholeFile(log).find("Rendering time") == std::string::npos;
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(underWay) << "the render ended before the interrupt";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(readWholeFile(dir.path("out.ppm")).starts_with("P6\n400 400\n255\n"));
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
