#include "image/output_file.h"

#include "image/image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>

namespace {

// What a signal handler finds (removeUnfinishedOutput): nothing to do, a file of the picture to
// remove (unfinishedName), or the picture being completed (named, renamed or written in place),
// which a signal must not cut short: the signal is then held, as the negative of its number, and
// raised again once the picture is complete.
constexpr int idle = 0;
constexpr int unfinished = 1;
constexpr int completing = 2;
std::atomic<int> outputState{idle};
// The name is only changed while the state is not `unfinished`.
char unfinishedName[PATH_MAX];

void markUnfinished(const std::string& name) {
    outputState.store(idle);
    if (name.size() >= sizeof unfinishedName) return;
    std::memcpy(unfinishedName, name.c_str(), name.size() + 1);
    outputState.store(unfinished);
}

// From here until releaseSignals, a signal handler holds its signal instead of removing the file.
void holdSignals() {
    int state = outputState.load();
    while (state >= idle && state != completing && !outputState.compare_exchange_weak(state, completing)) {
    }
}

// Ends the hold; a signal that came meanwhile ends the process now (its handler has been reset to
// the default action).
void releaseSignals() {
    if (const int state = outputState.exchange(idle); state < idle) std::raise(-state);
}

std::string companion;  // removeWithNextPicture

// The path a link points to, taken from the link's own directory when it is relative.
std::string linkTarget(const std::string& link) {
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || std::size_t(length) >= target.size()) return link;
    target.resize(std::size_t(length));
    const std::size_t slash = link.rfind('/');
    if (target[0] == '/' || slash == std::string::npos) return target;
    return link.substr(0, slash + 1) + target;
}

// The file a name stands for: symbolic links are followed as fopen follows them, to the file that
// a link names even where that file does not exist yet.
std::string followLinks(const char* name) {
    constexpr int mostLinks = 40;  // as the system follows, before it gives up with ELOOP
    std::string path = name;
    for (int links = 0; links < mostLinks; ++links) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        path = linkTarget(path);
    }
    return name;
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

// Whether a rename may put a new file in place of `existing` in a sticky directory (like /tmp),
// where only the owner of the file or of the directory may.
bool stickyAllows(const struct stat& existing, const std::string& target) {
    struct stat directory {};
    if (stat(directoryOf(target).c_str(), &directory) != 0 || (directory.st_mode & S_ISVTX) == 0) return true;
    const uid_t user = geteuid();
    return user == 0 || user == existing.st_uid || user == directory.st_uid;
}

// Whether the picture may go to a temporary file renamed over `target` at the end: the name is
// new, or a regular file that fopen could truncate and a rename may replace. *mode receives the
// permissions the file would have after fopen: those of the existing file, or 0666 less the umask
// for a new one.
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
    return S_ISREG(status.st_mode) && access(target.c_str(), W_OK) == 0 && stickyAllows(status, target);
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

void removeWithNextPicture(std::string path) { companion = std::move(path); }

bool removeUnfinishedOutput(int signal) {
    int state = outputState.load();
    for (;;) {
        if (state == completing) {
            if (outputState.compare_exchange_weak(state, -signal)) return false;
        } else if (state == unfinished) {
            if (outputState.compare_exchange_weak(state, idle)) {
                unlink(unfinishedName);
                return true;
            }
        } else {
            return state == idle;  // below idle: a signal held already ends the process
        }
    }
}

// In place: the file as it is, or a new one (which the program then made, and removes on failure).
// Nothing is truncated before begin().
bool OutputFile::openInPlace(const std::string& target) {
    int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) name_ = target;
    }
    if (fd < 0) return false;
    struct stat status {};
    holdsPicture_ = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    file_.reset(fdopen(fd, "wb"));
    if (file_) return true;
    const int reason = errno;
    close(fd);
    if (!name_.empty()) unlink(name_.c_str());
    name_.clear();
    errno = reason;
    return false;
}

bool OutputFile::create(const char* name) {
    discard();
    const std::string target = followLinks(name);
    mode_t mode = 0;
    if (replaceable(target, &mode)) {
        file_.reset(createUnnamed(target, mode));
        if (!file_) file_.reset(createBeside(target, mode, &name_));
    }
    if (file_) {
        target_ = target;
    } else if (!openInPlace(target)) {
        return false;
    }
    if (!name_.empty()) markUnfinished(name_);
    return true;
}

FILE* OutputFile::begin() {
    if (!file_) return nullptr;
    if (holdsPicture_) {
        holdSignals();
        if (ftruncate(fileno(file_.get()), 0) != 0) return nullptr;
    }
    return file_.get();
}

bool OutputFile::close(bool written) {
    if (!file_) return false;
    FILE* file = file_.release();
    bool ok = written && !std::ferror(file) && std::fflush(file) == 0;
    if (ok && !target_.empty() && fsync(fileno(file)) != 0) ok = false;
    if (!target_.empty()) holdSignals();
    // An unnamed file takes a hidden name first, so that the rename replaces the picture at once.
    if (ok && !target_.empty() && name_.empty()) ok = nameBeside(fileno(file), target_, &name_);
    if (std::fclose(file) != 0) ok = false;
    if (ok && !target_.empty() && std::rename(name_.c_str(), target_.c_str()) != 0) ok = false;
    if (!ok && !name_.empty()) {
        const int reason = errno;
        std::remove(name_.c_str());
        errno = reason;
    }
    if (ok && !companion.empty()) unlink(companion.c_str());
    companion.clear();
    clear();
    releaseSignals();
    return ok;
}

void OutputFile::discard() {
    if (!file_) return;
    const int reason = errno;
    file_.reset();
    companion.clear();
    holdSignals();  // the removal is not cut short
    if (!name_.empty()) std::remove(name_.c_str());
    clear();
    releaseSignals();
    errno = reason;
}

void OutputFile::clear() {
    name_.clear();
    target_.clear();
    holdsPicture_ = false;
}
