#include "image/tga.h"

#include <array>
#include <cerrno>

#include "image/picture_file.h"

namespace {

constexpr int maxSide = 65535;

bool startTGA(FILE*, int width, int height) {
    writeTGAHeader(width, height);
    return true;
}

constexpr PictureFormat tga{PixelOrder::BGR, startTGA, writeRowsTopFirst, nullptr};

}  // namespace

bool tgaCanStore(int width, int height) { return width <= maxSide && height <= maxSide; }

int openTGA(const char* name, int width, int height) {
    if (!tgaCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    return openPicture(tga, name, width, height);
}

void writeTGAHeader(int width, int height) {
    FILE* file = pictureStream();
    if (!file) return;
    std::array<unsigned char, 18> header{};
    header[2] = 2;  // uncompressed true colour
    storeLE16(&header[12], width);
    storeLE16(&header[14], height);
    header[16] = 24;  // bits per pixel
    header[17] = 32;  // origin at the top left
    std::fwrite(header.data(), 1, header.size(), file);
}

int writeTGALine(unsigned char* row, int y) { return storePictureRow(tga, row, y); }

int closeTGA() { return closePicture(tga); }

void discardTGA() { discardPicture(tga); }
