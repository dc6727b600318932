#include "render/progress.h"

#include <cstdio>

#include "base/console.h"
#include "render/render_settings.h"

namespace {

// One tick: six shaded blocks. To a file or a pipe each is the byte 0xB1, the shaded block of the
// PC character set; a terminal gets the same character as U+2592 in UTF-8. Chosen by
// showProgressInit, before the bands start.
constexpr const char* pcTick = "\xB1\xB1\xB1\xB1\xB1\xB1";
constexpr const char* utf8Tick = "\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92";
const char* tick = pcTick;

}  // namespace

void showProgressInit() {
    tick = consoleIsTerminal() ? utf8Tick : pcTick;
    if (myDisplay.height % 10 == 0)
        consolePrint("\n 0%%------------------------------------------------------100%%\n ");
    else
        consolePrint("\n 0%%------------------------------------------------------------100%%\n ");
}

void showProgress(int y) {
    // Ten ticks over the image; an image of fewer than ten rows ticks after every row.
    const int step = myDisplay.height / 10;
    if (step == 0 || y % step == 0) consoleWrite(tick);
    consoleFlush();
}
