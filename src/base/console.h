// The console: every line a user reads (banner, messages, statistics, progress bar, timing) goes
// through here, to standard output, and the few fatal messages of the traversal to standard
// error. A rank of a cluster job switches its console off while it runs the part of the run that
// rank 0 reports; a program that embeds the renderer may take the text itself through a sink.
// Safe to use from several threads (the render bands tick the progress bar). A standard stream
// whose reader has gone (a pipe closed early) is dropped without a word, and never ends the
// process with SIGPIPE: the run goes on without it.
#pragma once

#include <cstddef>

enum class ConsoleStream { output, error };

// printf to the console's output, or to its error stream.
[[gnu::format(printf, 1, 2)]] void consolePrint(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void consoleError(const char* format, ...);
// The text as it is, or followed by a line end.
void consoleWrite(const char* text);
void consoleLine(const char* text);
// What has been written so far reaches the reader.
void consoleFlush();
// Whether the console's output is a terminal (the progress bar draws its ticks for one).
bool consoleIsTerminal();

// Off, nothing is written anywhere; on again, the console writes where it wrote before.
void setConsoleOn(bool on);
// The sink receives every piece of text in order, with the stream it was meant for; the user
// pointer is passed back. Calls are never made at once from two threads. A null sink puts the
// standard streams back.
using ConsoleSink = void (*)(void* user, ConsoleStream stream, const char* text, std::size_t length);
void setConsoleSink(ConsoleSink sink, void* user);
