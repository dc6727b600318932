#include "image/image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "base/console.h"
#include "image/bmp.h"
#include "image/jpg.h"
#include "image/memory_picture.h"
#include "image/png.h"
#include "image/ppm.h"
#include "image/tga.h"

int iImageType = 0;
int jpeg_quality = 0;

namespace {

struct ImageWriter {
    const char* suffix;
    const char* format;
    bool (*canStore)(int width, int height);  // nullptr: any positive size
    int (*open)(const char* name, int width, int height);
    int (*writeLine)(unsigned char* row, int y);
    int (*close)();
    void (*discard)();
};

// Indexed by `iImageType`; the last, without a file, for a program that embeds the renderer.
constexpr ImageWriter writers[] = {
    {".tga", "TGA", tgaCanStore, openTGA, writeTGALine, closeTGA, discardTGA},
    {".bmp", "BMP", bmpCanStore, openBMP, writeBMPLine, closeBMP, discardBMP},
    {".ppm", "PPM", nullptr, openPPM, writePPMLine, closePPM, discardPPM},
    {".png", "PNG", pngCanStore, openPNG, writePNGLine, closePNG, discardPNG},
    {".jpg", "JPEG", jpgCanStore, openJPG, writeJPGLine, closeJPG, discardJPG},
    {"", "memory", nullptr, openMemory, writeMemoryLine, closeMemory, discardMemory},
};
static_assert(std::size(writers) == memoryImage + 1);

// No format is asked for a longer side, whatever its header could hold: a picture beyond it is a
// mistake (a few billion pixels would render for days), refused before anything is rendered.
constexpr int maxImageSide = 65535;

// The writer of the open image (set on the main thread before rendering, read by the bands).
const ImageWriter* openWriter = nullptr;
std::string openFileName;

// " (reason)" from errno, or nothing when the system gave none.
std::string reason(int error) {
    return error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string();
}

// Why a writer refused to open, from the errno it left.
void reportOpenFailure(const std::string& fileName, int width, int height, int error) {
    if (error == ENOMEM) {
        consolePrint(" Not enough memory for a %d x %d image\n", width, height);
    } else {
        consolePrint(" Cannot create image file: %s%s\n", fileName.c_str(), reason(error).c_str());
    }
}

}  // namespace

int openImage(const char* name, int width, int height) {
    discardImage();
    if (iImageType < 0 || iImageType >= int(std::size(writers))) {
        consolePrint(" Unknown image type %d\n", iImageType);
        return -1;
    }
    const ImageWriter& writer = writers[iImageType];
    if (width <= 0 || height <= 0) {
        consolePrint(" Image size %d x %d is not valid\n", width, height);
        return -1;
    }
    if (writer.canStore && !writer.canStore(width, height)) {
        consolePrint(" Image size %d x %d is too large for %s\n", width, height, writer.format);
        return -1;
    }
    if (width > maxImageSide || height > maxImageSide) {
        consolePrint(" Image size %d x %d is too large: at most %d pixels a side\n", width, height,
                     maxImageSide);
        return -1;
    }
    const std::string fileName = std::string(name) + writer.suffix;
    errno = 0;
    if (writer.open(fileName.c_str(), width, height) != 0) {
        reportOpenFailure(fileName, width, height, errno);
        return -1;
    }
    openWriter = &writer;
    openFileName = fileName;
    if (*writer.suffix) consolePrint(" Rendering to: %s\n", fileName.c_str());
    consolePrint(" Resolution:   %d x %d\n", width, height);
    return 0;
}

const std::string& openImageName() {
    static const std::string none;
    return openWriter && *openWriter->suffix ? openFileName : none;
}

int writeImageLine(unsigned char* row, int y) { return openWriter ? openWriter->writeLine(row, y) : -1; }

int closeImage() {
    if (!openWriter) return -1;
    const ImageWriter* writer = openWriter;
    openWriter = nullptr;
    errno = 0;
    if (writer->close() == 0) return 0;
    consolePrint(" Cannot write image file: %s%s\n", openFileName.c_str(), reason(errno).c_str());
    return -1;
}

void discardImage() {
    if (!openWriter) return;
    openWriter->discard();
    openWriter = nullptr;
}
