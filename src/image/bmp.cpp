#include "image/bmp.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "image/picture_file.h"

namespace {

constexpr std::uint64_t headerBytes = 54;

// 3 * width rounded up to a multiple of 4.
std::uint64_t paddedRowBytes(int width) { return (std::uint64_t(width) * 3 + 3) / 4 * 4; }

bool startBMP(FILE*, int width, int height) {
    writeBMPHeader(width, height);
    return true;
}

// Frame rows from the bottom up, each padded with zero bytes.
bool encodeBMP(FILE* file, const Frame& frame) {
    constexpr std::array<unsigned char, 3> zeros{};
    const std::size_t padding = paddedRowBytes(frame.width()) - frame.rowBytes();
    for (int y = frame.height() - 1; y >= 0; --y) {
        if (std::fwrite(frame.row(y), 1, frame.rowBytes(), file) != frame.rowBytes() ||
            std::fwrite(zeros.data(), 1, padding, file) != padding) {
            return false;
        }
    }
    return true;
}

constexpr PictureFormat bmp{PixelOrder::BGR, startBMP, encodeBMP, nullptr};

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
    return openPicture(bmp, name, width, height);
}

void writeBMPHeader(int width, int height) {
    FILE* file = pictureStream();
    if (!file) return;
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
    std::fwrite(header.data(), 1, header.size(), file);
}

int writeBMPLine(unsigned char* row, int y) { return storePictureRow(bmp, row, y); }

int closeBMP() { return closePicture(bmp); }

void discardBMP() { discardPicture(bmp); }
