#include "image/writer.h"

#include "image/image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// The file being written (under its temporary name), for removeUnfinishedOutput: a signal handler
// may read it at any time, so the name is only changed while `unfinished` is false.
char unfinishedName[PATH_MAX];
std::atomic<bool> unfinished{false};

void markUnfinished(const std::string& name) {
    unfinished.store(false);
    if (name.size() >= sizeof unfinishedName) return;
    std::memcpy(unfinishedName, name.c_str(), name.size() + 1);
    unfinished.store(true);
}

// The file a name stands for: a symbolic link is followed, as fopen would.
std::string followLink(const char* name) {
    struct stat status {};
    if (lstat(name, &status) != 0 || !S_ISLNK(status.st_mode)) return name;
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(name, nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string(name);
}

// Whether the picture may go to a temporary file renamed over `target` at the end: the name is
// new, or a regular file that fopen could truncate. *mode receives the permissions the file would
// have after fopen: those of the existing file, or 0666 less the umask for a new one.
bool replaceable(const std::string& target, mode_t* mode) {
    struct stat status {};
    if (stat(target.c_str(), &status) != 0) {
        if (errno != ENOENT) return false;
        const mode_t mask = umask(0);  // read on the main thread, before any band starts
        umask(mask);
        *mode = 0666 & ~mask;
        return true;
    }
    *mode = status.st_mode & 07777;
    return S_ISREG(status.st_mode) && access(target.c_str(), W_OK) == 0;
}

// A new hidden file beside target, "." plus (the start of) its name plus six random characters,
// opened for writing with the given permissions; nullptr when the directory takes no new file.
FILE* createBeside(const std::string& target, mode_t mode, std::string* name) {
    const std::size_t slash = target.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string pattern = target.substr(0, base) + "." + target.substr(base, 100) + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* file = fchmod(fd, mode) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        close(fd);
        unlink(pattern.c_str());
        return nullptr;
    }
    *name = pattern;
    return file;
}

}  // namespace

void removeUnfinishedOutput() {
    if (unfinished.exchange(false)) unlink(unfinishedName);
}

bool OutputFile::create(const char* name) {
    discard();
    const std::string target = followLink(name);
    mode_t mode = 0;
    if (replaceable(target, &mode)) file_.reset(createBeside(target, mode, &name_));
    if (file_) {
        target_ = target;
    } else {
        file_.reset(std::fopen(name, "wb"));
        if (!file_) return false;
        name_ = name;
    }
    markUnfinished(name_);
    return true;
}

bool OutputFile::close(bool written) {
    if (!file_) return false;
    FILE* file = file_.release();
    bool ok = written && !std::ferror(file) && std::fflush(file) == 0;
    if (ok && !target_.empty() && fsync(fileno(file)) != 0) ok = false;
    if (std::fclose(file) != 0) ok = false;
    if (ok && !target_.empty() && std::rename(name_.c_str(), target_.c_str()) != 0) ok = false;
    unfinished.store(false);
    if (!ok) {
        const int reason = errno;
        std::remove(name_.c_str());
        errno = reason;
    }
    name_.clear();
    target_.clear();
    return ok;
}

void OutputFile::discard() {
    if (!file_) return;
    const int reason = errno;
    file_.reset();
    unfinished.store(false);
    std::remove(name_.c_str());
    name_.clear();
    target_.clear();
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
