// JPEG writer: baseline JPEG from RGB rows, encoded by libjpeg when the image is closed at the
// quality of the `jpeg_quality` setting (0 or less means 90, above 100 means 100).
#pragma once

// The size of the open picture, recorded by openJPG for the encoder.
extern int image_width;
extern int image_height;

// Whether libjpeg accepts the size (its limit on each side).
bool jpgCanStore(int width, int height);
// Allocates the frame and creates the file. 0, or -1 with errno set (EFBIG for a size libjpeg
// refuses, ENOMEM for the frame, else why the file cannot be created).
int openJPG(const char* name, int width, int height);
// Stores the row unchanged as frame row y. 0, or -1 when there is no such row.
int writeJPGLine(unsigned char* row, int y);
// Encodes the frame at the quality of `jpeg_quality` (clamped as above; the setting itself stays
// as it is) and closes the file: 0, or -1 when libjpeg or the file failed (libjpeg's message on
// standard error, file removed).
int closeJPG();
// Drops the open image: frame released, file removed.
void discardJPG();
