#include "image/jpg.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>

#include "app/settings.h"
#include "image/writer.h"

int image_width = 0;
int image_height = 0;

namespace {

constexpr int defaultQuality = 90;
constexpr int bestQuality = 100;

PictureFile picture;

// libjpeg's standard error manager with a way back out: the error is reported with the
// library's message and control returns to the encoder's recovery point.
struct JpegErrorTrap {
    jpeg_error_mgr manager;  // first, so libjpeg's pointer to it points to the trap
    std::jmp_buf recovery;
};

[[noreturn]] void leaveOnJpegError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrorTrap*>(cinfo->err)->recovery, 1);
}

int clampQuality(int quality) {
    if (quality <= 0) return defaultQuality;
    return quality > bestQuality ? bestQuality : quality;
}

// Compresses the frame into file. Only plain C records live in this frame, so a libjpeg error
// may jump back into it.
bool encodeJPG(FILE* file, const Frame& frame, int quality) {
    jpeg_compress_struct cinfo{};
    JpegErrorTrap trap{};
    cinfo.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leaveOnJpegError;
    if (setjmp(trap.recovery)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = image_width;
    cinfo.image_height = image_height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = frame.row(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool jpgCanStore(int width, int height) {
    return width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

int openJPG(const char* name, int width, int height) {
    if (!jpgCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    if (!picture.open(name, width, height)) return -1;
    image_width = width;
    image_height = height;
    return 0;
}

int writeJPGLine(unsigned char* row, int y) { return picture.storeRow(row, y, PixelOrder::RGB); }

int closeJPG() {
    if (!picture.isOpen()) return -1;
    jpeg_quality = clampQuality(jpeg_quality);
    // The recorded size must still be the frame's, or the encoder would read past its rows.
    const bool sizeKept = image_width == picture.frame.width() && image_height == picture.frame.height();
    const bool written = sizeKept && encodeJPG(picture.out.stream(), picture.frame, jpeg_quality);
    image_width = 0;
    image_height = 0;
    return picture.close(written) ? 0 : -1;
}

void discardJPG() {
    image_width = 0;
    image_height = 0;
    picture.discard();
}
