// BMP writer: 24-bit uncompressed with the 54-byte header, rows stored bottom row first, each
// padded with zero bytes to a multiple of 4, pixels blue, green, red.
#pragma once

// Whether the file and pixel-data sizes fit the header's 32-bit fields.
bool bmpCanStore(int width, int height);
// Allocates the frame, creates the file and writes its header. 0, or -1 with errno set (EFBIG
// for a size the format cannot hold, ENOMEM for the frame, else why the file cannot be created).
int openBMP(const char* name, int width, int height);
// Writes the 54-byte header to the open file.
void writeBMPHeader(int width, int height);
// Turns the caller's row into blue, green, red in place and stores it as frame row y.
// 0, or -1 when there is no such row (nothing touched).
int writeBMPLine(unsigned char* row, int y);
// Writes the pixel rows and closes the file: 0, or -1 when writing failed (file removed).
int closeBMP();
// Drops the open image: frame released, file removed.
void discardBMP();
