// Two system calls as some tests need them, replaced in the test program (and the child processes
// it forks to run a render): open refuses unnamed files while refuseUnnamedFiles is set, as a file
// system without them does, and linkat is followed by signalAfterLink (when not 0) to the process,
// the moment between naming the finished picture and renaming it. Otherwise they are the C
// library's.
#pragma once

extern bool refuseUnnamedFiles;
extern int signalAfterLink;
