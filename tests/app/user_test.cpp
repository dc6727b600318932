// What a new user meets around a render: --version, scenes that include files from elsewhere, the
// progress bar on a pipe or on a reader that went away, an earlier picture that an interrupted
// render must not destroy (in directories the user may not write, and while the new picture takes
// its name), and the installed programs.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main.h"
#include "scene/lexer.h"
#include "support/files.h"
#include "support/interrupt.h"
#include "support/parse_fixture.h"
#include "support/system_calls.h"

namespace fs = std::filesystem;

namespace {

// orvel's run (orvelMain) in a child process, in `directory`, printing to `log`; `prepare` runs
// first in the child (false ends it with status 120).
template <typename Prepare>
pid_t startRun(std::vector<std::string> args, const std::string& directory, const std::string& log, Prepare prepare) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || chdir(directory.c_str()) != 0 || !prepare()) std::_Exit(120);
    args.insert(args.begin(), "orvel");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int status = orvelMain(static_cast<int>(args.size()), argv.data(), Edition::single);
    std::fflush(stdout);
    std::_Exit(status & 0xff);
}

// Waits until the log shows the progress bar (the render is under way), at most 20 s.
bool renderUnderWay(const std::string& log) {
    return waitFor([&] { return readWholeFile(log).find("100%") != std::string::npos; }, std::chrono::seconds(20));
}

int waitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// The names in a directory, sorted.
std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> bigRender = {"-i", "scene.orv", "-r", "4000", "4000", "-aaa", "1", "-ppm"};
const std::vector<std::string> smallRender = {"-i", "scene.orv", "-r", "16", "12", "-ppm"};

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

// Standard output is a pipe that nobody reads any more (`orvel ... | head -3`): the run carries on
// without its console, writes the picture and ends with the status it would have had.
TEST(UserRun, AConsoleThatWentAwayDoesNotEndTheRun) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    ASSERT_EQ(runProgram(orvelProgram(false), with(smallRender, {"-o", "expected"}), dir.path()).status, 0);
    for (const bool multi : {false, true}) {
        for (const auto& [args, status] :
             {std::pair{smallRender, "0"}, {std::vector<std::string>{"-i", "missing.orv"}, "255"}}) {
            // `:` reads nothing and has ended when the program starts; the shell keeps its status.
            std::vector<std::string> command = builtCommand(orvelProgram(multi), args);
            command.insert(command.begin(), {"/bin/sh", "-c", "(sleep 0.1; \"$@\"; echo $? >status) | :", "sh"});
            runCommand(command, dir.path());
            EXPECT_EQ(readWholeFile(dir.path("status")), std::string(status) + "\n") << multi << " " << args[1];
        }
        EXPECT_EQ(readWholeFile(dir.path("out.ppm")), readWholeFile(dir.path("expected.ppm"))) << multi;
        fs::remove(dir.path("out.ppm"));
    }
}

// A render ended by a kill, Ctrl-C, a hang-up or kill -9 once it has started leaves no picture where there
// was none, and an earlier picture of the same name as it was, and nothing else but the journal of
// its rows; only kill -9, on a file system without unnamed files, may leave the hidden temporary
// file.
TEST(UserRun, AnInterruptedRenderKeepsTheEarlierPicture) {
    TempDir dir, logs;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    const std::string log = logs.path("log.txt");
    std::string earlier;
    for (const auto& [multi, signal] :
         {std::pair{true, SIGTERM}, std::pair{false, SIGINT}, std::pair{true, SIGHUP}, std::pair{false, SIGKILL}}) {
        // Far too big to finish before the signal: the render is under way once the bar is out.
        const pid_t pid = startCommand(builtCommand(orvelProgram(multi), bigRender), dir.path(), log.c_str());
        ASSERT_NE(pid, 0);
        EXPECT_TRUE(renderUnderWay(log)) << signal;
        kill(pid, signal);
        const int status = waitStatus(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_TRUE(earlier.empty() ? !fs::exists(dir.path("out.ppm")) : readWholeFile(dir.path("out.ppm")) == earlier);
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name == "scene.orv" || (name == "out.ppm" && !earlier.empty()) || name == ".out.ppm.journal" ||
                        (signal == SIGKILL && !offersUnnamedFiles(dir.path()) && name.starts_with(".out.ppm.")))
                << signal << " left " << name;
        }
        if (earlier.empty()) {
            ASSERT_EQ(runProgram(orvelProgram(false), smallRender, dir.path()).status, 0);
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
    const bool underWay = renderUnderWay(log) && readWholeFile(log).find("Rendering time") == std::string::npos;
    kill(pid, SIGINT);
    const int status = waitStatus(pid);
    EXPECT_TRUE(underWay) << "the render ended before the interrupt";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(readWholeFile(dir.path("out.ppm")).starts_with("P6\n400 400\n255\n"));
}

// On a file system without unnamed files the picture is written under a hidden name beside it: a
// signal that ends a process (other than kill -9) removes it, whether the program ends on it or
// not, and leaves the earlier picture (and the journal of the rows finished).
TEST(UserRun, WithoutUnnamedFilesASignalLeavesNothingBehind) {
    TempDir dir, logs;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    std::ofstream(dir.path("out.ppm")) << "an earlier picture";
    const std::string log = logs.path("log.txt");
    for (const int signal : {SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        const pid_t pid = startRun(bigRender, dir.path(), log, [] {
            const rlimit noCore{0, 0};
            refuseUnnamedFiles = true;
            return setrlimit(RLIMIT_CORE, &noCore) == 0;
        });
        ASSERT_TRUE(renderUnderWay(log)) << signal;
        kill(pid, signal);
        const int status = waitStatus(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        std::vector<std::string> names = namesIn(dir.path());
        std::erase(names, ".out.ppm.journal");  // the rows finished, if any
        EXPECT_EQ(names, (std::vector<std::string>{"out.ppm", "scene.orv"})) << signal;
        EXPECT_EQ(readWholeFile(dir.path("out.ppm")), "an earlier picture") << signal;
    }
}

// A signal that comes while the finished picture takes its name (linked, not yet renamed) ends the
// run once the picture is in place, and leaves nothing else: not the journal either.
TEST(UserRun, ASignalWhileThePictureTakesItsNameEndsTheRunWithThePictureInPlace) {
    TempDir dir, logs;
    if (!offersUnnamedFiles(dir.path())) GTEST_SKIP() << "the file system here offers no unnamed files";
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    ASSERT_EQ(runProgram(orvelProgram(false), with(smallRender, {"-o", "expected"}), dir.path()).status, 0);
    std::ofstream(dir.path("out.ppm")) << "an earlier picture";
    for (const int signal : {SIGINT, SIGHUP}) {
        const int status = waitStatus(startRun(smallRender, dir.path(), logs.path("log.txt"), [signal] {
            signalAfterLink = signal;
            return true;
        }));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"expected.ppm", "out.ppm", "scene.orv"})) << signal;
        EXPECT_EQ(readWholeFile(dir.path("out.ppm")), readWholeFile(dir.path("expected.ppm"))) << signal;
        std::ofstream(dir.path("out.ppm")) << "an earlier picture";
    }
}

// Users made for the test (CI runs as root): a picture the user may write in a directory the user
// may not write, and a picture of another user, writable to all, in a sticky directory like /tmp.
// The picture cannot be replaced by a rename there: it is written in place once complete, so an
// interrupted render leaves the earlier picture as it was, and a finished one replaces it, keeping
// its owner.
TEST(UserRun, APictureTheUserCannotReplaceIsWrittenInPlaceOnceComplete) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as users made for the test";
    constexpr uid_t user = 54321, owner = 54322;
    const auto asUser = [] { return setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0; };
    TempDir logs;
    const std::string log = logs.path("log.txt");
    for (const auto& [directoryMode, pictureOwner] : {std::pair{0755, 0u}, {01777, owner}}) {
        TempDir dir;
        chmod(dir.path().c_str(), directoryMode);
        std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
        ASSERT_EQ(runProgram(orvelProgram(false), with(smallRender, {"-o", "expected"}), dir.path()).status, 0);
        std::ofstream(dir.path("out.ppm")) << "an earlier picture";
        ASSERT_EQ(chmod(dir.path("out.ppm").c_str(), 0666), 0);
        ASSERT_EQ(chown(dir.path("out.ppm").c_str(), pictureOwner, pictureOwner), 0);
        const std::vector<std::string> before = namesIn(dir.path());

        const pid_t pid = startRun(bigRender, dir.path(), log, asUser);
        ASSERT_TRUE(renderUnderWay(log)) << readWholeFile(log);
        kill(pid, SIGINT);
        const int interrupted = waitStatus(pid);
        EXPECT_TRUE(WIFSIGNALED(interrupted) && WTERMSIG(interrupted) == SIGINT) << directoryMode << " " << interrupted;
        EXPECT_EQ(readWholeFile(dir.path("out.ppm")), "an earlier picture") << directoryMode;

        const int status = waitStatus(startRun(smallRender, dir.path(), log, asUser));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << directoryMode << readWholeFile(log);
        EXPECT_EQ(readWholeFile(dir.path("out.ppm")), readWholeFile(dir.path("expected.ppm"))) << directoryMode;
        struct stat picture {};
        stat(dir.path("out.ppm").c_str(), &picture);
        EXPECT_EQ(picture.st_uid, pictureOwner) << directoryMode;
        EXPECT_EQ(namesIn(dir.path()), before) << directoryMode;
    }
}

// `cmake --install` into a scratch prefix: the programs, the manual pages (compressed), the scenes,
// the language reference, the copyright file and the changelog are there, and the installed
// program renders an installed scene that includes another one.
TEST(UserInstall, TheInstalledProgramRendersAnInstalledScene) {
    TempDir prefix, work;
    const ProgramRun install =
        runCommand({ORVEL_CMAKE_COMMAND, "--install", ORVEL_BINARY_DIR, "--prefix", prefix.path()}, work.path());
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* file : {"bin/orvel", "bin/orvel-mt", "share/man/man1/orvel.1.gz", "share/orvel/scenes/showcase.orv",
                             "share/orvel/scenes/palette.orv", "share/orvel/scenes/knot.ply", "share/doc/orvel/language.md",
                             "share/doc/orvel/copyright", "share/doc/orvel/changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(prefix.path(file))) << file;
    EXPECT_EQ(fs::read_symlink(prefix.path("share/man/man1/orvel-mt.1.gz")), "orvel.1.gz");
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
