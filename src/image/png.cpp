#include "image/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>

#include "image/picture_file.h"

namespace {

// libpng's write and info structures, created with the libpng the program is built against
// and its default error handling (message on standard error, then a jump to the recovery
// point of the function that called into libpng).
class PngWriter {
public:
    PngWriter() = default;
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
    ~PngWriter() { destroy(); }

    bool create() {
        destroy();
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (png) info = png_create_info_struct(png);
        if (info) return true;
        destroy();
        return false;
    }
    void destroy() {
        if (png) png_destroy_write_struct(&png, &info);
        png = nullptr;
        info = nullptr;
    }

    png_structp png = nullptr;
    png_infop info = nullptr;
};

PngWriter writer;

// Sets up libpng on the new file and writes the header chunks.
bool startPNG(FILE* file, int width, int height) {
    if (!writer.create()) {
        errno = ENOMEM;
        return false;
    }
    png_init_io(writer.png, file);
    if (writePNGHeader(width, height)) return true;
    errno = EIO;
    return false;
}

// Hands every frame row to libpng and ends the stream. Only plain values live in this frame,
// so a libpng error may jump back into it.
bool encodePNG(FILE*, const Frame& frame) {
    if (!writer.png) return false;
    if (setjmp(png_jmpbuf(writer.png))) return false;
    for (int y = 0; y < frame.height(); ++y) png_write_row(writer.png, frame.row(y));
    png_write_end(writer.png, writer.info);
    return true;
}

void dropPNG() { writer.destroy(); }

constexpr PictureFormat png{PixelOrder::RGB, startPNG, encodePNG, dropPNG};

}  // namespace

bool pngCanStore(int width, int height) {
    return width <= PNG_USER_WIDTH_MAX && height <= PNG_USER_HEIGHT_MAX;
}

int openPNG(const char* name, int width, int height) {
    if (!pngCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    return openPicture(png, name, width, height);
}

// Only plain values live in this frame, so a libpng error may jump back into it.
bool writePNGHeader(int width, int height) {
    if (!writer.png) return false;
    if (setjmp(png_jmpbuf(writer.png))) return false;
    png_set_IHDR(writer.png, writer.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png, writer.info);
    png_set_packing(writer.png);
    return true;
}

int writePNGLine(unsigned char* row, int y) { return storePictureRow(png, row, y); }

int closePNG() { return closePicture(png); }

void discardPNG() { discardPicture(png); }
