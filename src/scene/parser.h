// The scene-file driver: reads a scene file's top-level statements, hands each block to its
// parser, follows `include` into other files (looked for from the working directory, then beside
// the including file), keeps the colours made by `declare`, and at the end checks that the scene
// has a camera, settings and a surface and prints the statistics.
#pragma once

#include <cstdio>

// An include chain may hold this many open files; one more is a parse error.
inline constexpr int maxIncludeDepth = 64;

// How the scene driver opens a scene file by its name, for the top file and every include: fopen
// for reading unless the program sets another opener (the cluster program's ranks all read the
// bytes that rank 0 read). The stream, or null with errno set.
extern FILE* (*sceneFileOpener)(const char* name);

// The image sides the command line sets (each pass over it says): the scene's values for them are
// replaced before anything is rendered, so a bad one is not the scene's mistake.
extern bool widthOnCommandLine;
extern bool heightOnCommandLine;

// Reads the scene. 0 when it is complete, -1 when the camera, the settings or the surface is
// missing (message printed). Errors inside the scene end the run through yyerror.
int parseFile(const char* name);

// Releases everything that reading the scene built (objects, hierarchy, lights, declared colours,
// the current surface) and puts the parser's globals and counters back to their start values.
void releaseScene();
