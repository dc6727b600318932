// TGA writer: uncompressed 24-bit true colour with the origin at the top left, pixels stored
// blue, green, red, top row first.
#pragma once

// Whether both sides fit the header's 16-bit fields.
bool tgaCanStore(int width, int height);
// Allocates the frame, creates the file and writes its header. 0, or -1 with errno set (EFBIG
// for a size the format cannot hold, ENOMEM for the frame, else why the file cannot be created).
int openTGA(const char* name, int width, int height);
// Writes the 18-byte header to the open file.
void writeTGAHeader(int width, int height);
// Turns the caller's row into blue, green, red in place and stores it as frame row y.
// 0, or -1 when there is no such row (nothing touched).
int writeTGALine(unsigned char* row, int y);
// Writes the pixel rows and closes the file: 0, or -1 when writing failed (file removed).
int closeTGA();
// Drops the open image: frame released, file removed.
void discardTGA();
