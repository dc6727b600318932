// Files and programs as a user meets them: a fresh directory per test, whole files, and the built
// programs run in a given directory with their exit status and what they printed.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Whether the file system of `directory` makes files without a name, which the image writer
// writes to so that nothing of an unfinished picture outlives its process, kill -9 included.
inline bool offersUnnamedFiles(const std::string& directory) {
#ifdef O_TMPFILE
    const int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
    return fd >= 0;
#endif
    return false;
}

// A fresh directory for the files one test writes, removed with its contents when the test ends.
class TempDir {
public:
    TempDir() : dir_(mkdtemp((testing::TempDir() + "orvel-XXXXXX").data())) {}
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name = ".") const { return (dir_ / name).string(); }
    bool empty() const { return std::filesystem::is_empty(dir_); }

private:
    std::filesystem::path dir_;
};

// The whole content of a file (empty when it cannot be read).
inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<unsigned char> readFileBytes(const std::string& path) {
    const std::string text = readWholeFile(path);
    return {text.begin(), text.end()};
}

struct ProgramRun {
    int status;  // as the shell sees it (-1 is 255); -1 when the program did not exit
    std::string out;
    std::string err;
};

// The arguments with more after them.
inline std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

inline std::string orvelProgram(bool multiThreaded) {
    return std::string(ORVEL_BINARY_DIR) + (multiThreaded ? "/orvel-mt" : "/orvel");
}

// The first line a program prints; the platform is "linux-sh3-glibc2" and the edition's suffix.
inline std::string banner(const char* edition) {
    return std::string("\n ORVEL v0.1 beta 14 (linux-sh3-glibc2") + edition + ") - by the ORVEL developers\n";
}
inline std::string banner(bool multiThreaded) { return banner(multiThreaded ? "-multithreaded" : ""); }

// The usage text each program prints after its banner (tests/data/usage.txt holds orvel-mt's):
// orvel has no thread line, orvel-mpi its own.
inline std::string usageText(const std::string& edition) {
    std::string text = readWholeFile(std::string(ORVEL_SOURCE_DIR) + "/tests/data/usage.txt");
    const std::string bands = "  -t/--thread        int         specify the number thread to use (2, 4 or 8)\n";
    const std::string ranks = "  -t/--thread        int         specify the number of threads per rank (1 to 64)\n";
    const std::string line = edition == "-multithreaded" ? bands : edition == "-mpi" ? ranks : "";
    return text.replace(text.find(bands), bands.size(), line);
}

// The command that starts a program built here: through the emulator the build names (qemu-user
// in a cross-compiled tree), which passes signals on and ends as the program does.
inline std::vector<std::string> builtCommand(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> command;
    if (const std::string emulator = ORVEL_PROGRAM_EMULATOR; !emulator.empty()) command.push_back(emulator);
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

// Starts the command (its first word a path) in the directory, its standard output and error
// going to the named files (made or emptied); 0 when it cannot be started.
inline pid_t startCommand(const std::vector<std::string>& command, const std::string& directory,
                          const char* out = "/dev/null", const char* err = "/dev/null") {
    // The files are emptied here, before the program starts: where the spawn returns before the
    // child has opened them (qemu-user runs vfork as fork), what a caller reads next is then never
    // what an earlier program left there.
    for (const char* file : {out, err}) close(open(file, O_WRONLY | O_CREAT | O_TRUNC, 0600));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out, O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err, O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs the command to its end: its status (-1 when it did not exit), standard output and error.
inline ProgramRun runCommand(const std::vector<std::string>& command, const std::string& directory) {
    const TempDir logs;
    const std::string out = logs.path("out"), err = logs.path("err");
    const pid_t pid = startCommand(command, directory, out.c_str(), err.c_str());
    int wstatus = 0;
    if (pid) waitpid(pid, &wstatus, 0);
    return {pid && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readWholeFile(out), readWholeFile(err)};
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& directory) {
    return runCommand(builtCommand(program, args), directory);
}
