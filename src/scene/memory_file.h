// A scene file held in memory: a read-only stream over bytes that it owns until it is closed,
// read by the lexer like a file on disk.
#pragma once

#include <cstdio>
#include <string>

// The stream, or null (errno set) when it cannot be made.
FILE* openSceneBytes(std::string bytes);
