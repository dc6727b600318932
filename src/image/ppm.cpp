#include "image/ppm.h"

#include "image/picture_file.h"

namespace {

bool startPPM(FILE*, int width, int height) {
    writePPMHeader(width, height);
    return true;
}

// Frame rows 0 to height - 1, top row first.
bool encodePPM(FILE* file, const Frame& frame) {
    const std::size_t rows = frame.height();
    return std::fwrite(frame.row(0), frame.rowBytes(), rows, file) == rows;
}

constexpr PictureFormat ppm{PixelOrder::RGB, startPPM, encodePPM, nullptr};

}  // namespace

int openPPM(const char* name, int width, int height) { return openPicture(ppm, name, width, height); }

void writePPMHeader(int width, int height) {
    if (FILE* file = pictureStream()) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
}

int writePPMLine(unsigned char* row, int y) { return storePictureRow(ppm, row, y); }

int closePPM() { return closePicture(ppm); }

void discardPPM() { discardPicture(ppm); }
