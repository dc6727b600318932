#include "image/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>

#include "image/writer.h"

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

PictureFile picture;
PngWriter writer;

// Hands every frame row to libpng and ends the stream. Only plain values live in this frame,
// so a libpng error may jump back into it.
bool writePNGRows() {
    if (setjmp(png_jmpbuf(writer.png))) return false;
    for (int y = 0; y < picture.frame.height(); ++y) png_write_row(writer.png, picture.frame.row(y));
    png_write_end(writer.png, writer.info);
    return true;
}

}  // namespace

bool pngCanStore(int width, int height) {
    return width <= PNG_USER_WIDTH_MAX && height <= PNG_USER_HEIGHT_MAX;
}

int openPNG(const char* name, int width, int height) {
    discardPNG();
    if (!pngCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    if (!picture.open(name, width, height)) return -1;
    if (!writer.create()) {
        discardPNG();
        errno = ENOMEM;
        return -1;
    }
    png_init_io(writer.png, picture.out.stream());
    if (!writePNGHeader(width, height)) {
        discardPNG();
        errno = EIO;
        return -1;
    }
    return 0;
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

int writePNGLine(unsigned char* row, int y) { return picture.storeRow(row, y, PixelOrder::RGB); }

int closePNG() {
    if (!picture.isOpen() || !writer.png) return -1;
    const bool written = writePNGRows();
    writer.destroy();
    return picture.close(written) ? 0 : -1;
}

void discardPNG() {
    writer.destroy();
    picture.discard();
}
