#include "image/frame.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

std::size_t frameMemoryLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::size_t>::max();
    return std::size_t(pages) / 2 * std::size_t(pageSize);
}

bool Frame::allocate(int width, int height) {
    release();
    if (width <= 0 || height <= 0) {
        errno = EINVAL;
        return false;
    }
    static const std::size_t limit = frameMemoryLimit();
    if (std::size_t(width) > limit / 3 / std::size_t(height)) {
        errno = ENOMEM;
        return false;
    }
    bytes_.reset(static_cast<unsigned char*>(std::calloc(std::size_t(width) * std::size_t(height), 3)));
    if (!bytes_) {
        errno = ENOMEM;
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void Frame::release() {
    bytes_.reset();
    width_ = 0;
    height_ = 0;
}

unsigned char* Frame::row(int y) const {
    if (!bytes_ || y < 0 || y >= height_) return nullptr;
    return bytes_.get() + std::size_t(y) * rowBytes();
}

int Frame::store(unsigned char* row, int y, PixelOrder order) const {
    unsigned char* target = this->row(y);
    if (!target || !row) return -1;
    if (order == PixelOrder::BGR) {
        for (std::size_t i = 0; i < rowBytes(); i += 3) std::swap(row[i], row[i + 2]);
    }
    std::memcpy(target, row, rowBytes());
    return 0;
}
