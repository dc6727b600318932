// The picture in memory while it is rendered: height rows of width pixels, three bytes each, row y
// at byte y * width * 3. Rows arrive in any order, from several threads.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

// The byte order of the pixels a format keeps in its frame.
enum class PixelOrder { RGB, BGR };

// The frame, zeroed when allocated.
class Frame {
public:
    // False, with errno set, when the size is not positive (EINVAL), when width * height * 3
    // exceeds frameMemoryLimit() or the memory is not there (ENOMEM).
    bool allocate(int width, int height);
    void release();
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t rowBytes() const { return std::size_t(width_) * 3; }
    // Row y, or nullptr when no frame is allocated or y lies outside it.
    unsigned char* row(int y) const;
    // Copies row (3 * width bytes, red, green, blue) into row y. For BGR the caller's row is
    // first turned into blue, green, red in place. -1, row untouched, when there is no row y.
    // Distinct rows may be stored from several threads at once.
    int store(unsigned char* row, int y, PixelOrder order) const;

private:
    struct Free {
        void operator()(unsigned char* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<unsigned char, Free> bytes_;
    int width_ = 0;
    int height_ = 0;
};

// The most bytes a frame may take: half of the memory the process may use (the machine's physical
// memory, or the limit of its control group when that is less), so that a picture is refused at
// once rather than rendered until the system runs out of memory.
std::size_t frameMemoryLimit();
// The memory limit of the control group the process runs in, as the files under `root` ("/" on a
// live system) tell: cgroup v2 memory.max, or v1 memory.limit_in_bytes, the least of them on the
// way up from the process's group. The largest size_t when none is set.
std::size_t controlGroupMemoryLimit(const std::string& root = "/");
