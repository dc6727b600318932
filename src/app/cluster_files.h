// Scene files in a cluster job: rank 0 opens each file the scene driver asks for and tells every
// other rank what it found there (the file's size, that it is a pipe or a device read to its end,
// that it cannot be opened, or that it is a directory). The bytes follow in pieces of at most a
// megabyte, each broadcast one piece ahead of the one the lexers read, so that the transfer
// overlaps the parsing. While a file is open, a rank that runs short of memory ends the whole job. Every rank
// parses the same bytes in the same order: they open the same files, request the same pieces and meet the
// same errors.
#pragma once

#include <cstdio>

// The scene file opener of rank 0: opens the file and shares it.
FILE* readAndShareSceneFile(const char* name);
// The scene file opener of every other rank: the bytes rank 0 shares.
FILE* receiveSceneFile(const char* name);
