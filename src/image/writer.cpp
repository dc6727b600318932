#include "image/writer.h"

#include "image/image.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// The file being written, for removeUnfinishedOutput: a signal handler may read it at any time,
// so the name is only changed while `unfinished` is false.
char unfinishedName[PATH_MAX];
std::atomic<bool> unfinished{false};

void markUnfinished(const std::string& name) {
    unfinished.store(false);
    if (name.size() >= sizeof unfinishedName) return;
    std::memcpy(unfinishedName, name.c_str(), name.size() + 1);
    unfinished.store(true);
}

}  // namespace

void removeUnfinishedOutput() {
    if (unfinished.exchange(false)) unlink(unfinishedName);
}

bool OutputFile::create(const char* name) {
    discard();
    file_.reset(std::fopen(name, "wb"));
    if (!file_) return false;
    name_ = name;
    markUnfinished(name_);
    return true;
}

bool OutputFile::close(bool written) {
    if (!file_) return false;
    bool ok = written && !std::ferror(file_.get());
    if (std::fclose(file_.release()) != 0) ok = false;
    unfinished.store(false);
    if (!ok) {
        const int reason = errno;
        std::remove(name_.c_str());
        errno = reason;
    }
    name_.clear();
    return ok;
}

void OutputFile::discard() {
    if (!file_) return;
    const int reason = errno;
    file_.reset();
    unfinished.store(false);
    std::remove(name_.c_str());
    name_.clear();
    errno = reason;
}

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

bool PictureFile::open(const char* name, int width, int height) {
    discard();
    if (!frame.allocate(width, height)) return false;
    if (out.create(name)) return true;
    frame.release();
    return false;
}

int PictureFile::storeRow(unsigned char* row, int y, PixelOrder order) const {
    unsigned char* target = frame.row(y);
    if (!target || !row) return -1;
    if (order == PixelOrder::BGR) {
        for (std::size_t i = 0; i < frame.rowBytes(); i += 3) std::swap(row[i], row[i + 2]);
    }
    std::memcpy(target, row, frame.rowBytes());
    return 0;
}

bool PictureFile::close(bool written) {
    frame.release();
    return out.close(written);
}

void PictureFile::discard() {
    frame.release();
    out.discard();
}

void storeLE16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void storeLE32(unsigned char* at, std::uint32_t value) {
    storeLE16(at, value);
    storeLE16(at + 2, value >> 16);
}
