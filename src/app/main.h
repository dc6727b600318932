// The program's run: start-up defaults, banner, command line (read twice, so that its options
// win over the scene's settings block), scene, bounding hierarchy, render. Both programs call
// orvelMain; they differ only in the edition (banner, the thread option and its usage line, and
// the render driver's bands).
#pragma once

// Which program is running.
enum class Edition { single, multi };

// The whole run; returns the exit status (0 after a render, -1 for usage and scene errors).
int orvelMain(int argc, char** argv, Edition which);

// One pass over the options. Returns when they are good and a scene file is named; otherwise
// prints the usage text (or the reason) and ends the run with status -1. "--version" prints the
// image library versions and ends the run with status 0.
void parseArgs(int argc, char** argv);

void showUsage();
void showCredits();
// The line after the banner that --version prints: the versions of libpng and libjpeg.
void showVersions();
