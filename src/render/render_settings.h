// What the render is asked for: the picture's size and name, how it is sampled and on how many
// threads. Written by the start-up defaults, the scene's settings block and the command line (in
// that order, the later winning), read-only once rendering begins.
#pragma once

#include <cstdint>
#include <optional>

struct Display {
    int32_t width;
    int32_t height;
    char outputName[256];  // without extension; the image writer appends it
};

extern Display myDisplay;

extern int iAntialias;  // 0 none, 1 quick (corner averaging), 2 adaptive
extern int adapt_dist;  // adaptive threshold on the 0 to 255 scale
extern int jitter;      // 1: sample positions are randomly displaced
extern int numThreads;  // orvel-mt: render bands, 2, 4 or 8; orvel-mpi: render threads per rank
// --resume: the rows a journal of the same render kept are not rendered again.
extern bool resumeRender;
// --seed: random sampling from sample streams keyed by this seed; without it, from rand().
extern std::optional<std::uint64_t> randomSeed;
