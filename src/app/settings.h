// Render settings: how big the picture is, where it goes and how it is sampled. Written by the
// start-up defaults, the scene's settings block and the command line (in that order, the later
// winning), read-only once rendering begins.
#pragma once

#include <cstdint>
#include <optional>

#include "math/vector.h"

struct Display {
    int32_t width;
    int32_t height;
    char outputName[256];  // without extension; the image writer appends it
};

extern Display myDisplay;
extern char inputFileName[512];

// The image sides the command line sets (each pass over it says): the scene's values for them are
// replaced before anything is rendered.
extern bool widthOnCommandLine;
extern bool heightOnCommandLine;

extern int iImageType;    // 0 TGA, 1 BMP, 2 PPM, 3 PNG, 4 JPEG
extern int iAntialias;    // 0 none, 1 quick (corner averaging), 2 adaptive
extern int adapt_dist;    // adaptive threshold on the 0 to 255 scale
extern int jitter;        // 1: sample positions are randomly displaced
extern int jpeg_quality;  // 0 or less means 90, above 100 means 100
extern int numThreads;    // orvel-mt: render bands, 2, 4 or 8; orvel-mpi: render threads per rank
inline constexpr int maxRankThreads = 64;
extern int iPQSize;        // capacity of the traversal's priority queue
extern int iBounds[8][2];  // per band: first row, end row (exclusive)
// --resume: the rows a journal of the same render kept are not rendered again.
extern bool resumeRender;
// --seed: random sampling from sample streams keyed by this seed; without it, from rand().
extern std::optional<std::uint64_t> randomSeed;

// The slab directions of the bounding hierarchy (the unit axes) and the largest number of
// children of one bounding node.
extern Vector Slab[3];
extern int bunching;

// What the program sets at start-up before reading anything: anti-aliasing off, adaptive
// threshold 20, BMP output, the unit axes as slab directions and four children per node.
void setStartupDefaults();
// Every setting as a fresh process holds it once the start-up defaults are set.
void resetSettings();
