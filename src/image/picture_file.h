// The one picture being written: its frame (image/frame.h) and the file it goes to
// (image/output_file.h), shared by the five formats, since one image is open at a time. The
// picture file opens, names, renames and removes; a format supplies only what is its own: the
// order of the bytes in its frame, what it writes or sets up when the file is opened (its header),
// and its encoder, which writes the pixels at close.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/frame.h"

struct PictureFormat {
    PixelOrder order;
    // The header, or the encoder's set-up, once the picture is complete and its file is to be
    // written: false, with errno set, on failure.
    bool (*start)(FILE* file, int width, int height);
    // Writes the pixels of the frame (and whatever ends the file): false on failure.
    bool (*encode)(FILE* file, const Frame& frame);
    // Releases what start made, when the picture is closed or dropped; null when nothing.
    void (*drop)();
};

// Drops a picture still open, allocates the frame and creates the file, so a frame that cannot be
// had leaves no file. Nothing is written before the picture is closed. 0, or -1 with errno set
// (nothing is left open).
int openPicture(const PictureFormat& format, const char* name, int width, int height);
// The file of the open picture, or null.
FILE* pictureStream();
// Stores row y (3 * width bytes, red, green, blue) in the format's byte order: 0, or -1 when
// the picture open is not of this format or has no row y (row untouched).
int storePictureRow(const PictureFormat& format, unsigned char* row, int y);
// Starts the format, encodes the frame, releases it and closes the file (see OutputFile::close): 0,
// or -1 when the picture open is not of this format or writing failed (file removed).
int closePicture(const PictureFormat& format);
// Drops the picture if it is of this format: frame released, file removed.
void discardPicture(const PictureFormat& format);

// The encoder of the formats that store the frame's rows as they are, top row first.
bool writeRowsTopFirst(FILE* file, const Frame& frame);

// Header integers, least significant byte first.
void storeLE16(unsigned char* at, std::uint32_t value);
void storeLE32(unsigned char* at, std::uint32_t value);
