#include "image/ppm.h"

#include "image/writer.h"

namespace {

PictureFile ppm;

}  // namespace

int openPPM(const char* name, int width, int height) {
    if (!ppm.open(name, width, height)) return -1;
    writePPMHeader(width, height);
    return 0;
}

void writePPMHeader(int width, int height) {
    if (!ppm.isOpen()) return;
    std::fprintf(ppm.out.stream(), "P6\n%d %d\n255\n", width, height);
}

int writePPMLine(unsigned char* row, int y) { return ppm.storeRow(row, y, PixelOrder::RGB); }

int closePPM() {
    if (!ppm.isOpen()) return -1;
    const Frame& frame = ppm.frame;
    const std::size_t rows = frame.height();
    const bool written = std::fwrite(frame.row(0), frame.rowBytes(), rows, ppm.out.stream()) == rows;
    return ppm.close(written) ? 0 : -1;
}

void discardPPM() { ppm.discard(); }
