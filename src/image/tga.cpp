#include "image/tga.h"

#include <array>
#include <cerrno>

#include "image/writer.h"

namespace {

constexpr int maxSide = 65535;
PictureFile tga;

}  // namespace

bool tgaCanStore(int width, int height) { return width <= maxSide && height <= maxSide; }

int openTGA(const char* name, int width, int height) {
    if (!tgaCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    if (!tga.open(name, width, height)) return -1;
    writeTGAHeader(width, height);
    return 0;
}

void writeTGAHeader(int width, int height) {
    if (!tga.isOpen()) return;
    std::array<unsigned char, 18> header{};
    header[2] = 2;  // uncompressed true colour
    storeLE16(&header[12], width);
    storeLE16(&header[14], height);
    header[16] = 24;  // bits per pixel
    header[17] = 32;  // origin at the top left
    std::fwrite(header.data(), 1, header.size(), tga.out.stream());
}

int writeTGALine(unsigned char* row, int y) { return tga.storeRow(row, y, PixelOrder::BGR); }

int closeTGA() {
    if (!tga.isOpen()) return -1;
    const Frame& frame = tga.frame;
    const std::size_t rows = frame.height();
    const bool written = std::fwrite(frame.row(0), frame.rowBytes(), rows, tga.out.stream()) == rows;
    return tga.close(written) ? 0 : -1;
}

void discardTGA() { tga.discard(); }
