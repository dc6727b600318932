// The image writer dispatch: the chosen format keeps the whole picture in memory, rows arrive in
// any order (several threads write disjoint rows), and the file is encoded at close.
#pragma once

// Appends the format's suffix to name, opens that writer and prints the file name and
// resolution. 0, or -1 when the image is refused (message printed, no file left behind).
int openImage(const char* name, int width, int height);
// Stores row y (3 * width bytes, red, green, blue); TGA and BMP swap the caller's row in place.
int writeImageLine(unsigned char* row, int y);
// Encodes and writes the file; 0, or -1 when writing failed (message printed).
int closeImage();
// Drops an open image without writing it: the frame is released and the file removed.
void discardImage();
