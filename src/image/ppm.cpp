#include "image/ppm.h"

#include "image/picture_file.h"

namespace {

bool startPPM(FILE*, int width, int height) {
    writePPMHeader(width, height);
    return true;
}

constexpr PictureFormat ppm{PixelOrder::RGB, startPPM, writeRowsTopFirst, nullptr};

}  // namespace

int openPPM(const char* name, int width, int height) { return openPicture(ppm, name, width, height); }

void writePPMHeader(int width, int height) {
    if (FILE* file = pictureStream()) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
}

int writePPMLine(unsigned char* row, int y) { return storePictureRow(ppm, row, y); }

int closePPM() { return closePicture(ppm); }

void discardPPM() { discardPicture(ppm); }
