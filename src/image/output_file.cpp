#include "image/output_file.h"

#include "image/image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// The file being written (under its temporary name), for removeUnfinishedOutput: a signal handler
// may read it at any time, so the name is only changed while `unfinished` is false.
char unfinishedName[PATH_MAX];
std::atomic<bool> unfinished{false};

bool unnamedAllowed = true;

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

// Where the file name in a path starts, after its directory.
std::size_t nameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string directoryOf(const std::string& target) {
    const std::size_t base = nameStart(target);
    return base == 0 ? std::string(".") : target.substr(0, base);
}

// The hidden name beside target: "." plus (the start of) its name, then `suffix`.
std::string hiddenBeside(const std::string& target, const std::string& suffix) {
    const std::size_t base = nameStart(target);
    return target.substr(0, base) + "." + target.substr(base, 100) + "." + suffix;
}

// The path under which the process sees its open file `fd`, for linking a file without a name.
std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

FILE* openStream(int fd, mode_t mode) {
    FILE* file = fchmod(fd, mode) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!file) close(fd);
    return file;
}

// A file without a name in target's directory, opened for writing with the given permissions:
// nothing of it is left when the process ends before it is given a name. nullptr where the file
// system or the system offers no such files, or the file could not be named later.
FILE* createUnnamed([[maybe_unused]] const std::string& target, [[maybe_unused]] mode_t mode) {
#ifdef O_TMPFILE
    const int fd = open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    struct stat link {};
    if (lstat(procPath(fd).c_str(), &link) != 0) {
        close(fd);
        return nullptr;
    }
    return openStream(fd, mode);
#endif
    return nullptr;
}

// A new hidden file beside target, opened for writing with the given permissions; nullptr when
// the directory takes no new file.
FILE* createBeside(const std::string& target, mode_t mode, std::string* name) {
    std::string pattern = hiddenBeside(target, "XXXXXX");
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* file = openStream(fd, mode);
    if (!file)
        unlink(pattern.c_str());
    else
        *name = pattern;
    return file;
}

// Gives the unnamed file `fd` a new hidden name beside target (six random characters, as for a
// named temporary file); false, with errno set, when it cannot.
bool nameBeside(int fd, const std::string& target, std::string* name) {
    constexpr char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof characters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, ' ');
        for (char& c : suffix) c = characters[pick(source)];
        *name = hiddenBeside(target, suffix);
        if (linkat(AT_FDCWD, procPath(fd).c_str(), AT_FDCWD, name->c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) break;
    }
    name->clear();
    return false;
}

}  // namespace

void allowUnnamedFiles(bool allowed) { unnamedAllowed = allowed; }

void removeUnfinishedOutput() {
    if (unfinished.exchange(false)) unlink(unfinishedName);
}

bool OutputFile::create(const char* name) {
    discard();
    const std::string target = followLink(name);
    mode_t mode = 0;
    if (replaceable(target, &mode)) {
        if (unnamedAllowed) file_.reset(createUnnamed(target, mode));
        if (!file_) file_.reset(createBeside(target, mode, &name_));
    }
    if (file_) {
        target_ = target;
    } else {
        file_.reset(std::fopen(name, "wb"));
        if (!file_) return false;
        name_ = name;
    }
    if (!name_.empty()) markUnfinished(name_);
    return true;
}

bool OutputFile::close(bool written) {
    if (!file_) return false;
    FILE* file = file_.release();
    bool ok = written && !std::ferror(file) && std::fflush(file) == 0;
    if (ok && !target_.empty() && fsync(fileno(file)) != 0) ok = false;
    // An unnamed file takes a hidden name first, so that the rename replaces the picture at once.
    if (ok && name_.empty()) {
        ok = nameBeside(fileno(file), target_, &name_);
        if (ok) markUnfinished(name_);
    }
    if (std::fclose(file) != 0) ok = false;
    if (ok && !target_.empty() && std::rename(name_.c_str(), target_.c_str()) != 0) ok = false;
    unfinished.store(false);
    if (!ok && !name_.empty()) {
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
    if (!name_.empty()) std::remove(name_.c_str());
    name_.clear();
    target_.clear();
    errno = reason;
}
