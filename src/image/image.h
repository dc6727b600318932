// The image writer dispatch: the chosen format keeps the whole picture in memory, rows arrive in
// any order (several threads write disjoint rows), and the file is encoded at close. Only one
// image is open at a time.
#pragma once

#include <string>

extern int iImageType;    // 0 TGA, 1 BMP, 2 PPM, 3 PNG, 4 JPEG; 5 kept in memory (image/memory_picture.h)
extern int jpeg_quality;  // 0 or less means 90, above 100 means 100

// Appends the suffix of the format chosen by `iImageType` to name, opens that writer and prints
// the file name (a picture kept in memory has none) and resolution. 0, or -1 when the image is refused before
// anything is rendered (an unknown format, a size that is not positive, a side beyond 65535 pixels or beyond
// what the format can hold, a frame larger than half the machine's memory, a file that cannot be created):
// one message line printed, no file left behind. An image still open is dropped first.
int openImage(const char* name, int width, int height);
// The file name of the open image (the name given and the format's suffix); empty when none is
// open or the picture is kept in memory.
const std::string& openImageName();
// Stores row y (3 * width bytes, red, green, blue); TGA and BMP swap the caller's row in place.
// 0, or -1 when no image is open or it has no row y (nothing touched).
int writeImageLine(unsigned char* row, int y);
// Encodes and writes the file; 0, or -1 when no image is open or writing failed (message
// printed, file removed).
int closeImage();
// Drops an open image without writing it: the frame is released and the file removed.
void discardImage();
// For the handler of a signal that ends the process: removes the file of an image that is open and
// not yet completely written, so that the run leaves no partial image, and returns true. While the
// complete picture takes its name (or is written in place) it returns false instead, and the
// signal is held: it is raised again as soon as the picture is in place, so a handler that has
// reset the signal to its default action returns and the process ends then. Safe to call from a
// signal handler, on any thread.
bool removeUnfinishedOutput(int signal);
