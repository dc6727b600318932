// The picture kept in memory instead of a file, for a program that embeds the renderer: the writer
// of the dispatch for the image type memoryImage, which no option or scene can choose. It keeps
// the rows as they come, red, green, blue, and hands the frame over once the image is closed.
#pragma once

#include "image/frame.h"

inline constexpr int memoryImage = 5;

// Allocates the frame (the name is not used). 0, or -1 with errno set (ENOMEM for the frame).
int openMemory(const char* name, int width, int height);
// Stores the row unchanged as frame row y. 0, or -1 when there is no such row.
int writeMemoryLine(unsigned char* row, int y);
// Keeps the frame for takeMemoryPicture: 0, or -1 when no picture is open.
int closeMemory();
// Drops the open picture.
void discardMemory();
// The picture the last closeMemory kept (the frame moves to the caller); an empty frame when none.
Frame takeMemoryPicture();
