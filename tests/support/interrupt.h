// Renders cut short: a program started, sent a signal once a condition holds, and waited for; and
// the rows its journal keeps.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

// Polls `ready` every millisecond for at most `limit`; whether it held.
inline bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !ready();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Starts the command in the directory (its standard output to `out`), sends `signal` once `ready`
// holds to the process that target(pid) names (the command itself when there is no target), unless
// the command has ended by then, and waits for the command: its wait status.
inline int interruptWhen(const std::vector<std::string>& command, const std::string& directory, int signal,
                         const std::function<bool()>& ready, const std::string& out = "/dev/null",
                         const std::function<pid_t(pid_t)>& target = {}) {
    const pid_t pid = startCommand(command, directory, out.c_str());
    EXPECT_NE(pid, 0);
    int status = 0;
    bool ended = false;
    pid_t victim = 0;
    waitFor([&] {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        return ended || (ready() && (victim = target ? target(pid) : pid) != 0);
    });
    if (ended) return status;
    if (victim != 0) kill(victim, signal);
    waitpid(pid, &status, 0);
    return status;
}

// The whole row records of a journal of rows `width` pixels wide (0 when there is no journal).
inline int journalRows(const std::string& path, int width) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || status.st_size < 136) return 0;
    return static_cast<int>((status.st_size - 136) / (12 + 3 * width));
}

// How many random kill points a test makes of each kind: `usual`, or ORVEL_RESUME_KILLS for a soak.
inline int killPoints(int usual) {
    const char* soak = std::getenv("ORVEL_RESUME_KILLS");
    return soak ? std::max(1, std::atoi(soak)) : usual;
}

// The rows a resumed render took from its journal, from what it printed (0 when it took none).
inline int rowsResumed(const std::string& out) {
    const std::size_t at = out.find(" Resuming from ");
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + out.find(": ", at) + 2);
}

// Whether `delay` has passed since the journal appeared, which it notes in *seen.
inline bool pastJournal(const std::string& journal, std::chrono::duration<double> delay,
                        std::chrono::steady_clock::time_point* seen) {
    const auto now = std::chrono::steady_clock::now();
    if (*seen == std::chrono::steady_clock::time_point{} && ::access(journal.c_str(), F_OK) == 0) *seen = now;
    return *seen != std::chrono::steady_clock::time_point{} && now >= *seen + delay;
}

// How long the render of the command takes, from the moment its journal appears to its end.
inline std::chrono::duration<double> renderTime(const std::vector<std::string>& command, const std::string& directory,
                                                const std::string& journal) {
    std::chrono::steady_clock::time_point seen{};
    interruptWhen(command, directory, 0, [&] { return pastJournal(journal, std::chrono::hours(1), &seen); });
    return seen == std::chrono::steady_clock::time_point{} ? std::chrono::duration<double>(0)
                                                           : std::chrono::steady_clock::now() - seen;
}
