#include "base/console.h"

#include <signal.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::atomic<bool> consoleOn{true};
std::mutex sinkMutex;  // guards the sink and serialises its calls
ConsoleSink sink = nullptr;
void* sinkUser = nullptr;

FILE* standardStream(ConsoleStream stream) { return stream == ConsoleStream::output ? stdout : stderr; }

// A standard stream whose reader has gone (a pipe closed early: `orvel ... | head -3`) takes no
// more text; the run goes on without it.
std::atomic<bool> readerGone[2] = {false, false};

std::atomic<bool>& gone(ConsoleStream stream) { return readerGone[stream == ConsoleStream::output ? 0 : 1]; }

// Writes to a standard stream with SIGPIPE held back in this thread, so that a reader that went away
// never ends the process: the stream is then dropped with what it still buffered, and the SIGPIPE
// the write raised is taken back.
template <typename Write>
void toStandard(ConsoleStream stream, Write write) {
    if (gone(stream).load(std::memory_order_relaxed)) return;
    FILE* file = standardStream(stream);
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const int callerError = errno;
    errno = 0;
    write(file);
    if (std::ferror(file) && errno == EPIPE) {
        gone(stream).store(true);
        __fpurge(file);
        std::clearerr(file);
        const timespec now{};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = callerError;
}

// Hands the text to the sink, when there is one; false when the standard streams take it.
bool toSink(ConsoleStream stream, const char* text, std::size_t length) {
    const std::lock_guard<std::mutex> lock(sinkMutex);
    if (!sink) return false;
    sink(sinkUser, stream, text, length);
    return true;
}

// The same for formatted text, formatted only for a sink.
bool toSink(ConsoleStream stream, const char* format, std::va_list arguments) {
    const std::lock_guard<std::mutex> lock(sinkMutex);
    if (!sink) return false;
    std::va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return true;
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    sink(sinkUser, stream, text.data(), static_cast<std::size_t>(length));
    return true;
}

bool isOn() { return consoleOn.load(std::memory_order_relaxed); }

void write(ConsoleStream stream, const char* text, std::size_t length) {
    if (isOn() && !toSink(stream, text, length))
        toStandard(stream, [&](FILE* file) { std::fwrite(text, 1, length, file); });
}

void print(ConsoleStream stream, const char* format, std::va_list arguments) {
    if (isOn() && !toSink(stream, format, arguments))
        toStandard(stream, [&](FILE* file) { std::vfprintf(file, format, arguments); });
}

void flushOutput() {
    toStandard(ConsoleStream::output, [](FILE* file) { std::fflush(file); });
}

// What is still buffered at exit is written here, with SIGPIPE held back, before the C library's
// own last flush would write it unguarded (a reader that left after the last flush would then
// end the finished run with SIGPIPE).
struct FlushAtExit {
    ~FlushAtExit() { flushOutput(); }
} flushAtExit;

}  // namespace

void consolePrint(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    print(ConsoleStream::output, format, arguments);
    va_end(arguments);
}

void consoleError(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    print(ConsoleStream::error, format, arguments);
    va_end(arguments);
}

void consoleWrite(const char* text) { write(ConsoleStream::output, text, std::strlen(text)); }

void consoleLine(const char* text) { consolePrint("%s\n", text); }

void consoleFlush() {
    if (isOn()) flushOutput();
}

bool consoleIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

void setConsoleOn(bool on) {
    consoleFlush();
    consoleOn.store(on);
}

void setConsoleSink(ConsoleSink newSink, void* user) {
    flushOutput();
    const std::lock_guard<std::mutex> lock(sinkMutex);
    sink = newSink;
    sinkUser = user;
}
