// PPM writer: binary "P6" with a three-line text header, pixels red, green, blue, top row
// first. Any positive size can be stored.
#pragma once

// Allocates the frame, creates the file and writes its header. 0, or -1 with errno set (ENOMEM
// for the frame, else why the file cannot be created).
int openPPM(const char* name, int width, int height);
// Writes the text header to the open file.
void writePPMHeader(int width, int height);
// Stores the row unchanged as frame row y. 0, or -1 when there is no such row.
int writePPMLine(unsigned char* row, int y);
// Writes the pixel rows and closes the file: 0, or -1 when writing failed (file removed).
int closePPM();
// Drops the open image: frame released, file removed.
void discardPPM();
