// The program's run: start-up defaults, banner, command line (read twice, so that its options
// win over the scene's settings block), scene, bounding hierarchy, render. Every program calls
// orvelMain; they differ only in the edition (banner, the thread option and its usage line, and
// how the picture is rendered).
#pragma once

// Which program is running: orvel, orvel-mt or orvel-mpi.
enum class Edition { single, multi, cluster };

// The whole run; returns the exit status (0 after a render, -1 for usage and scene errors).
// orvel and orvel-mt render with their render driver; orvel-mpi passes its own render step.
int orvelMain(int argc, char** argv, Edition which, void (*trace)() = nullptr);

// One pass over the options. Returns when they are good and a scene file is named; otherwise
// prints the usage text (or the reason) and ends the run with status -1. "--version" prints the
// image library versions and ends the run with status 0.
void parseArgs(int argc, char** argv);

void showUsage();
void showCredits();
// The line after the banner that --version prints: the versions of libpng and libjpeg.
void showVersions();
