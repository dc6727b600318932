// PNG writer: 8-bit RGB, not interlaced, encoded by libpng when the image is closed. libpng's
// own messages go to standard error; its errors make the open or the close fail cleanly.
#pragma once

// Whether libpng accepts the size (its default limit on each side).
bool pngCanStore(int width, int height);
// Allocates the frame, creates the file, sets up libpng and writes the header chunks. 0, or -1
// with errno set (EFBIG for a size libpng refuses, ENOMEM for the frame or libpng's structures,
// EIO for a libpng error while the header is written, else why the file cannot be created).
int openPNG(const char* name, int width, int height);
// Sets the image parameters and writes the header chunks; false when libpng reports an error.
bool writePNGHeader(int width, int height);
// Stores the row unchanged as frame row y. 0, or -1 when there is no such row.
int writePNGLine(unsigned char* row, int y);
// Encodes the rows and closes the file: 0, or -1 when libpng or the file failed (file removed).
int closePNG();
// Drops the open image: libpng structures destroyed, frame released, file removed.
void discardPNG();
