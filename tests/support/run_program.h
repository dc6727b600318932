// Runs a built program as a user would, in a given directory, and collects its exit status and
// what it printed on standard output and standard error.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ProgramRun {
    int status;  // as the shell sees it (-1 is 255); -1 when the program did not exit
    std::string out;
    std::string err;
};

inline std::string orvelProgram(bool multiThreaded) {
    return std::string(ORVEL_BINARY_DIR) + (multiThreaded ? "/orvel-mt" : "/orvel");
}

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& directory) {
    char outPath[] = "/tmp/orvel-stdout-XXXXXX";
    char errPath[] = "/tmp/orvel-stderr-XXXXXX";
    close(mkstemp(outPath));
    close(mkstemp(errPath));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath, O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath, O_WRONLY | O_TRUNC, 0);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int wstatus = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &wstatus, 0);
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run{pid && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readWholeFile(outPath), readWholeFile(errPath)};
    std::remove(outPath);
    std::remove(errPath);
    return run;
}
