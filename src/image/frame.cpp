#include "image/frame.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

namespace {

constexpr std::size_t noLimit = std::numeric_limits<std::size_t>::max();

// The number a limit file holds; noLimit for "max", or where there is no such file.
std::size_t readLimit(const std::string& path) {
    std::ifstream in(path);
    unsigned long long value = 0;
    if (!(in >> value)) return noLimit;
    return static_cast<std::size_t>(std::min<unsigned long long>(value, noLimit));
}

// The least limit in `file` of the group `group` ("/a/b") of the hierarchy mounted at `mount`, and
// of the groups above it, up to the mount's own root.
std::size_t leastOnTheWayUp(const std::string& mount, std::string group, const char* file) {
    std::size_t least = noLimit;
    for (;;) {
        least = std::min(least, readLimit(mount + group + "/" + file));
        if (group.empty()) return least;
        group.erase(group.rfind('/'));
    }
}

}  // namespace

std::size_t controlGroupMemoryLimit(const std::string& root) {
    std::ifstream groups(root + "/proc/self/cgroup");
    std::size_t least = noLimit;
    // Lines "id:controllers:/path"; v2's has id 0 and no controllers, v1's memory line names memory.
    for (std::string line; std::getline(groups, line);) {
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string group = line.substr(second + 1);
        if (!group.empty() && group.back() == '/') group.pop_back();
        const std::string mounts = root + "/sys/fs/cgroup";
        if (line.starts_with("0::")) {
            for (const char* mount : {"", "/unified"})
                least = std::min(least, leastOnTheWayUp(mounts + mount, group, "memory.max"));
        } else {
            std::istringstream names(controllers);
            for (std::string name; std::getline(names, name, ',');) {
                if (name == "memory")
                    least =
                        std::min(least, leastOnTheWayUp(mounts + "/memory", group, "memory.limit_in_bytes"));
            }
        }
    }
    return least;
}

std::size_t frameMemoryLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const std::size_t physical =
        pages <= 0 || pageSize <= 0 ? noLimit : std::size_t(pages) * std::size_t(pageSize);
    return std::min(physical, controlGroupMemoryLimit()) / 2;
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
