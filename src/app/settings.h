// The program's own settings, and the start-up defaults of every setting: what the layers below
// declare (the picture and its sampling in render/render_settings.h, the image format and quality
// in image/image.h, the hierarchy's slab directions and children limit, the traversal's queue
// size) is set here before anything is read, then by the scene's settings block, then by the
// command line.
#pragma once

extern char inputFileName[512];
inline constexpr int maxRankThreads = 64;

// What the program sets at start-up before reading anything: anti-aliasing off, adaptive
// threshold 20, BMP output, the unit axes as slab directions and four children per node.
void setStartupDefaults();
// Every setting as a fresh process holds it once the start-up defaults are set.
void resetSettings();
