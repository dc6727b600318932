#include "image/memory_picture.h"

#include <utility>

namespace {

Frame open;    // the picture being rendered
Frame closed;  // the picture closeMemory kept

}  // namespace

int openMemory(const char*, int width, int height) {
    closed.release();
    return open.allocate(width, height) ? 0 : -1;
}

int writeMemoryLine(unsigned char* row, int y) { return open.store(row, y, PixelOrder::RGB); }

int closeMemory() {
    if (!open.row(0)) return -1;
    closed = std::move(open);
    open.release();
    return 0;
}

void discardMemory() { open.release(); }

Frame takeMemoryPicture() {
    Frame picture = std::move(closed);
    closed.release();
    return picture;
}
