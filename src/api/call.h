// One call into the library, from start to end: the calls take turns (one render at a time in a
// process, since the renderer's state is process-wide), a call made from inside a callback of a
// running render is refused rather than left waiting for ever, the console's text goes to the
// host's message callback and is kept to say why a run failed, and the C library's rand()
// sequence is the library's own while the call runs.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "base/console.h"

using MessageCallback = void (*)(void* user, int stream, const char* text, std::size_t length);

// What the console printed in the current step of the run (chunks as printed), from which the
// reason of a failure is taken.
class ConsoleCapture {
public:
    void add(const char* text, std::size_t length);
    // Starts a new step: what was printed before it cannot be the failure's text.
    void clear() { chunks_.clear(); }
    // The failure's message as the run printed it, and the scene line it names (0 when none):
    // for a scene error at a line, the reason printed after the line number (or, when there is
    // none, the lines the lexer printed just before); otherwise the last thing printed. The
    // blanks around each line are dropped.
    std::string failureMessage(int* line) const;

private:
    std::vector<std::string> chunks_;
};

// Marks the calling thread as one of a running render's threads (busy() in it).
void markRenderThread();

// While it lives, the calling thread has the renderer to itself.
class LibraryCall {
public:
    // Waits for the call that runs, unless this thread is inside a callback of it (busy()).
    LibraryCall(MessageCallback message, void* user);
    ~LibraryCall();
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

    // Whether this thread runs inside a render's callback, where another call must not start.
    bool busy() const { return busy_; }
    ConsoleCapture& capture() { return capture_; }

private:
    static void toHost(void* self, ConsoleStream stream, const char* text, std::size_t length);

    bool busy_;
    std::unique_lock<std::mutex> lock_;
    MessageCallback message_;
    void* user_;
    ConsoleCapture capture_;
    char randomState_[128];  // rand()'s state, of the same size as the C library's own
    char* hostRandomState_ = nullptr;
};
