// What a new user meets around a render: --version, scenes that include files from elsewhere, the
// progress bar on a pipe and on a terminal, and an earlier picture that an interrupted render
// must not destroy.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>

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

// Runs the program with its standard output on `writeEnd` (closed here), reads `readEnd` to the
// end and returns what came; *status receives the exit status.
std::string runOnDescriptor(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                            int readEnd, int writeEnd, int* status) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_adddup2(&actions, writeEnd, STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, readEnd);
    const std::vector<std::string> command = builtCommand(program, args);
    const std::vector<char*> argv = spawnArguments(command);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(writeEnd);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(readEnd, buffer, sizeof buffer)) > 0;) out.append(buffer, std::size_t(n));
    close(readEnd);  // a terminal reports the end of its last writer as an error (EIO)
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return out;
}

TEST(UserRun, VersionNamesTheImageLibraries) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    const std::string versions = std::string(" libpng ") + png_get_libpng_ver(nullptr) + ", libjpeg";
    for (const bool multi : {false, true}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--version"}, {"-i", "scene.orv", "--version"}}) {
            const ProgramRun run = runProgram(orvelProgram(multi), args, dir.path());
            EXPECT_EQ(run.status, 0);
            EXPECT_TRUE(run.out.starts_with(banner(multi) + versions) &&
                        std::count(run.out.begin(), run.out.end(), '\n') == 3)
                << run.out;
        }
        // An earlier mistake still wins: the usage text, status 255.
        EXPECT_EQ(runProgram(orvelProgram(multi), {"-x", "--version"}, dir.path()).status, 255);
    }
    EXPECT_FALSE(fs::exists(dir.path("out.png")));
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

    // Found nowhere: the name as written.
    std::ofstream(dir.path("scenes/main.orv")) << "include \"missing.orv\"\n" << sceneBase;
    run = runProgram(orvelProgram(false), {"-i", "scenes/main.orv"}, dir.path());
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.out.ends_with("\n Parsing scenes/main.orv\n Scene file: missing.orv could no be opened\n")) << run.out;
}

// A bar of ten ticks (ten rows), as bytes 0xB1 on a pipe and as U+2592 on a terminal.
TEST(UserRun, ProgressTicksOnAPipeAndOnATerminal) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    const std::vector<std::string> args = {"-i", "scene.orv", "-r", "4", "10"};
    std::string bar = "\n 0%" + std::string(54, '-') + "100%\n ";
    std::string utf8Ticks;
    for (int k = 0; k < 60; ++k) utf8Ticks += "\xE2\x96\x92";

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    int status = 0;
    std::string out = runOnDescriptor(orvelProgram(false), args, dir.path(), ends[0], ends[1], &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find(bar + std::string(60, '\xB1') + "\n\n Rendering time:"), std::string::npos) << out;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_TRUE(grantpt(master) == 0 && unlockpt(master) == 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    out = runOnDescriptor(orvelProgram(true), args, dir.path(), master, terminal, &status);
    EXPECT_EQ(status, 0);
    // The terminal turns each line end into a carriage return and a line end.
    EXPECT_NE(out.find(" 0%" + std::string(54, '-') + "100%\r\n " + utf8Ticks + "\r\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('\xB1'), std::string::npos);
}

// The names in the directory, hidden ones too, besides the scene.
std::vector<std::string> filesBesideScene(const TempDir& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::erase(names, "scene.orv");
    std::sort(names.begin(), names.end());
    return names;
}

// A render ended by a kill, Ctrl-C or kill -9 once it has started leaves no picture where there
// was none, and an earlier picture of the same name as it was, and nothing else; only kill -9, on
// a file system without unnamed files, may leave the hidden temporary file.
TEST(UserRun, AnInterruptedRenderKeepsTheEarlierPicture) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    const std::string log = dir.path("log.txt");
    std::string earlier;
    for (const auto& [multi, signal] : {std::pair{true, SIGTERM}, std::pair{false, SIGINT}, std::pair{false, SIGKILL}}) {
        std::ofstream{log};  // the program's standard output
        // Far too big to finish before the signal: the render is under way once the bar is out.
        const pid_t pid = startProgram(orvelProgram(multi), {"-i", "scene.orv", "-r", "4000", "4000", "-aaa", "1", "-ppm"},
                                       dir.path(), log.c_str());
        ASSERT_NE(pid, 0);
        for (int wait = 0; wait < 2000 && readWholeFile(log).find("100%") == std::string::npos; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_NE(readWholeFile(log).find("100%"), std::string::npos) << signal;
        fs::remove(log);
        EXPECT_TRUE(earlier.empty() ? !fs::exists(dir.path("out.ppm")) : readWholeFile(dir.path("out.ppm")) == earlier);
        std::vector<std::string> left = filesBesideScene(dir);
        if (signal == SIGKILL && !offersUnnamedFiles(dir.path()) && !left.empty() && left[0].starts_with(".out.ppm."))
            left.erase(left.begin());
        EXPECT_EQ(left, std::vector<std::string>(earlier.empty() ? 0 : 1, "out.ppm")) << signal;
        if (earlier.empty()) {
            ASSERT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "16", "12", "-ppm"}, dir.path()).status, 0);
            earlier = readWholeFile(dir.path("out.ppm"));
        }
    }
}

// A finished picture has the permissions fopen would give it: a new file 0666 less the umask, an
// existing file its own. A name that is a link writes the file it points to.
TEST(UserRun, AFinishedPictureKeepsPermissionsAndLinks) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase;
    const mode_t previous = umask(027);
    EXPECT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "4", "3", "-ppm"}, dir.path()).status, 0);
    umask(previous);
    EXPECT_EQ(fs::status(dir.path("out.ppm")).permissions(), fs::perms(0640));
    fs::permissions(dir.path("out.ppm"), fs::perms(0604));
    fs::create_symlink("out.ppm", dir.path("link.ppm"));
    EXPECT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-r", "5", "3", "-ppm", "-o", "link"}, dir.path()).status,
              0);
    EXPECT_EQ(fs::status(dir.path("out.ppm")).permissions(), fs::perms(0604));
    EXPECT_EQ(readWholeFile(dir.path("link.ppm")).substr(0, 7), "P6\n5 3\n");
    EXPECT_EQ(filesBesideScene(dir), (std::vector<std::string>{"link.ppm", "out.ppm"}));  // still a link
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
                             "share/orvel/scenes/palette.orv", "share/doc/orvel/language.md"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix.path(file))) << file;
    }
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
    for (const MotCle& keyword : liste_motcle) {
        EXPECT_NE(reference.find(std::string("`") + keyword.mot + "`"), std::string::npos) << keyword.mot;
    }
}

}  // namespace
