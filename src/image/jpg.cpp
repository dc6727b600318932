#include "image/jpg.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>

#include "image/image.h"
#include "image/picture_file.h"

int image_width = 0;
int image_height = 0;

namespace {

constexpr int defaultQuality = 90;
constexpr int bestQuality = 100;

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

bool startJPG(FILE*, int width, int height) {
    image_width = width;
    image_height = height;
    return true;
}

// The quality is that of the setting when the picture is closed.
bool encodeFrame(FILE* file, const Frame& frame) {
    // The recorded size must still be the frame's, or the encoder would read past its rows.
    const bool sizeKept = image_width == frame.width() && image_height == frame.height();
    return sizeKept && encodeJPG(file, frame, clampQuality(jpeg_quality));
}

void dropJPG() {
    image_width = 0;
    image_height = 0;
}

constexpr PictureFormat jpg{PixelOrder::RGB, startJPG, encodeFrame, dropJPG};

}  // namespace

bool jpgCanStore(int width, int height) {
    return width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

int openJPG(const char* name, int width, int height) {
    if (!jpgCanStore(width, height)) {
        errno = EFBIG;
        return -1;
    }
    return openPicture(jpg, name, width, height);
}

int writeJPGLine(unsigned char* row, int y) { return storePictureRow(jpg, row, y); }

int closeJPG() { return closePicture(jpg); }

void discardJPG() { discardPicture(jpg); }
