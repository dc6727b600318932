#include "base/console.h"

#include <unistd.h>

#include <atomic>
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
    if (isOn() && !toSink(stream, text, length)) std::fwrite(text, 1, length, standardStream(stream));
}

void print(ConsoleStream stream, const char* format, std::va_list arguments) {
    if (isOn() && !toSink(stream, format, arguments))
        std::vfprintf(standardStream(stream), format, arguments);
}

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
    if (isOn()) std::fflush(stdout);
}

bool consoleIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

void setConsoleOn(bool on) {
    consoleFlush();
    consoleOn.store(on);
}

void setConsoleSink(ConsoleSink newSink, void* user) {
    std::fflush(stdout);
    const std::lock_guard<std::mutex> lock(sinkMutex);
    sink = newSink;
    sinkUser = user;
}
