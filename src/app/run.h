// The parts of a run that the programs, the tests and the scene fuzzer share: putting every piece
// of run state back to a fresh process's, and the run of a scene once it has been read.
#pragma once

#include "render/driver.h"

// Everything a run reads or writes goes back to what a fresh process holds before it reads its
// command line: the settings with their start-up defaults, the scene with the parser's state and
// counters, the camera, the background and haze, an image left open, the band control and the C
// library's random sequence.
void resetRunState();

// What follows the reading of the scene (and the command line's second pass): the number of
// primitives, the bounding hierarchy, the render. Failures end the run through abortRun.
void renderParsedScene(RenderDriver driver);
// The same with another render step in place of doTrace (the cluster program's).
void renderParsedScene(void (*trace)());
