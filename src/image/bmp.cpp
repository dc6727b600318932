#include "image/bmp.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "image/writer.h"

namespace {

constexpr std::uint64_t headerBytes = 54;
PictureFile bmp;

// 3 * width rounded up to a multiple of 4.
std::uint64_t paddedRowBytes(int width) { return (std::uint64_t(width) * 3 + 3) / 4 * 4; }

}  // namespace

bool bmpCanStore(int width, int height) {
    return headerBytes + paddedRowBytes(width) * std::uint64_t(height) <=
           std::numeric_limits<std::uint32_t>::max();
}

int openBMP(const char* name, int width, int height) {
    if (!bmpCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    if (!bmp.open(name, width, height)) return -1;
    writeBMPHeader(width, height);
    return 0;
}

void writeBMPHeader(int width, int height) {
    if (!bmp.isOpen()) return;
    const auto pixelBytes = static_cast<std::uint32_t>(paddedRowBytes(width) * height);
    std::array<unsigned char, headerBytes> header{};
    header[0] = 'B';
    header[1] = 'M';
    storeLE32(&header[2], headerBytes + pixelBytes);  // file size
    storeLE32(&header[10], headerBytes);              // offset of the pixel data
    storeLE32(&header[14], 40);                       // information header size
    storeLE32(&header[18], width);
    storeLE32(&header[22], height);  // positive: bottom row first
    storeLE16(&header[26], 1);       // planes
    storeLE16(&header[28], 24);      // bits per pixel
    storeLE32(&header[34], pixelBytes);
    std::fwrite(header.data(), 1, header.size(), bmp.out.stream());
}

int writeBMPLine(unsigned char* row, int y) { return bmp.storeRow(row, y, PixelOrder::BGR); }

int closeBMP() {
    if (!bmp.isOpen()) return -1;
    const Frame& frame = bmp.frame;
    FILE* file = bmp.out.stream();
    constexpr std::array<unsigned char, 3> zeros{};
    const std::size_t padding = paddedRowBytes(frame.width()) - frame.rowBytes();
    bool written = true;
    for (int y = frame.height() - 1; y >= 0 && written; --y) {
        written = std::fwrite(frame.row(y), 1, frame.rowBytes(), file) == frame.rowBytes() &&
                  std::fwrite(zeros.data(), 1, padding, file) == padding;
    }
    return bmp.close(written) ? 0 : -1;
}

void discardBMP() { bmp.discard(); }
