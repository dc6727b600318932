#include "image/picture_file.h"

#include <cerrno>

#include "image/output_file.h"

namespace {

struct Picture {
    const PictureFormat* format = nullptr;  // null while nothing is open
    Frame frame;
    OutputFile out;
    FILE* stream = nullptr;  // the file, while the complete picture is written to it

    bool isOpen(const PictureFormat& asked) const { return format == &asked && out.isOpen(); }
    // Releases the format's state and the frame; what becomes of the file is the caller's.
    void release() {
        if (format && format->drop) format->drop();
        format = nullptr;
        frame.release();
    }
};

Picture picture;

}  // namespace

int openPicture(const PictureFormat& format, const char* name, int width, int height) {
    if (picture.format) discardPicture(*picture.format);
    if (!picture.frame.allocate(width, height)) return -1;
    if (!picture.out.create(name)) {
        picture.frame.release();
        return -1;
    }
    picture.format = &format;
    return 0;
}

FILE* pictureStream() { return picture.stream; }

int storePictureRow(const PictureFormat& format, unsigned char* row, int y) {
    if (picture.format != &format) return -1;
    return picture.frame.store(row, y, format.order);
}

int closePicture(const PictureFormat& format) {
    if (!picture.isOpen(format)) return -1;
    picture.stream = picture.out.begin();
    const bool written = picture.stream &&
                         format.start(picture.stream, picture.frame.width(), picture.frame.height()) &&
                         format.encode(picture.stream, picture.frame);
    picture.stream = nullptr;
    picture.release();
    return picture.out.close(written) ? 0 : -1;
}

void discardPicture(const PictureFormat& format) {
    if (picture.format != &format) return;
    picture.release();
    picture.out.discard();
}

bool writeRowsTopFirst(FILE* file, const Frame& frame) {
    const std::size_t rows = frame.height();
    return std::fwrite(frame.row(0), frame.rowBytes(), rows, file) == rows;
}

void storeLE16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void storeLE32(unsigned char* at, std::uint32_t value) {
    storeLE16(at, value);
    storeLE16(at + 2, value >> 16);
}
