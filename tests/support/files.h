// Files and programs as a user meets them: a fresh directory per test, whole files, and the built
// programs run in a given directory with their exit status and what they printed.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

inline std::string orvelProgram(bool multiThreaded) {
    return std::string(ORVEL_BINARY_DIR) + (multiThreaded ? "/orvel-mt" : "/orvel");
}

// Starts the program in the directory, its standard output and error going to the named files.
// Programs built for another processor start through the emulator the build names (qemu-user in
// a cross-compiled tree), which passes signals on and ends as the program does.
inline pid_t startProgram(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
                          const char* out = "/dev/null", const char* err = "/dev/null") {
    static const std::string emulator = ORVEL_PROGRAM_EMULATOR;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out, O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err, O_WRONLY | O_TRUNC, 0);
    std::vector<char*> argv;
    if (!emulator.empty()) argv.push_back(const_cast<char*>(emulator.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& directory) {
    char outPath[] = "/tmp/orvel-stdout-XXXXXX";
    char errPath[] = "/tmp/orvel-stderr-XXXXXX";
    close(mkstemp(outPath));
    close(mkstemp(errPath));
    const pid_t pid = startProgram(program, args, directory, outPath, errPath);
    int wstatus = 0;
    if (pid) waitpid(pid, &wstatus, 0);
    ProgramRun run{pid && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readWholeFile(outPath), readWholeFile(errPath)};
    std::remove(outPath);
    std::remove(errPath);
    return run;
}
