#include "base/console.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Piece = std::pair<ConsoleStream, std::string>;

void keep(void* user, ConsoleStream stream, const char* text, std::size_t length) {
    static_cast<std::vector<Piece>*>(user)->emplace_back(stream, std::string(text, length));
}

}  // namespace

// A sink takes every piece in order, with its stream and its exact bytes (formatted as printf
// would); a console switched off passes nothing on, and on again writes where it wrote before.
TEST(Console, ASinkTakesEveryPieceInOrderAndOffMeansNothing) {
    std::vector<Piece> pieces;
    setConsoleSink(keep, &pieces);
    consolePrint(" Resolution:   %d x %d\n", 320, 240);
    consoleError("\n\n ORVEL is out of space...\n%s", "more");
    consoleWrite("\xE2\x96\x92");
    setConsoleOn(false);
    consolePrint("%s", "hidden");
    consoleLine("hidden too");
    setConsoleOn(true);
    consoleLine("Memory alloction failed.");
    setConsoleSink(nullptr, nullptr);
    const std::vector<Piece> expected = {{ConsoleStream::output, " Resolution:   320 x 240\n"},
                                         {ConsoleStream::error, "\n\n ORVEL is out of space...\nmore"},
                                         {ConsoleStream::output, "\xE2\x96\x92"},
                                         {ConsoleStream::output, "Memory alloction failed.\n"}};
    EXPECT_EQ(pieces, expected);
}
