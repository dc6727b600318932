#include "scene/model/model_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "scene/parser.h"

ModelFile (*modelFileReader)(const char* path) = readModelFromDisk;

namespace {

ModelFile failure(const char* what, int error, bool opened) {
    ModelFile file;
    file.error = std::string(what) + " (" + std::strerror(error) + ")";
    file.unopened = !opened;
    return file;
}

ModelFile directory() {
    ModelFile file;
    file.error = "is a directory";
    return file;
}

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

struct StreamCloser {
    void operator()(FILE* stream) const { std::fclose(stream); }
};

}  // namespace

ModelFile readModelFromDisk(const char* path) {
    const Descriptor file{open(path, O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return failure("cannot be opened", errno, false);
    struct stat status {};
    if (fstat(file.fd, &status) != 0) return failure("cannot be read", errno, true);
    if (S_ISDIR(status.st_mode)) return directory();
    // A regular file is read at the size it has; anything else (a pipe) until it ends.
    const bool regular = S_ISREG(status.st_mode);
    ModelFile model;
    model.bytes.resize(regular ? static_cast<std::size_t>(status.st_size) : 0);
    std::size_t done = 0;
    for (;;) {
        if (done == model.bytes.size()) {
            if (regular) break;
            model.bytes.resize(done + (std::size_t{1} << 16));
        }
        const ssize_t n = read(file.fd, model.bytes.data() + done, model.bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failure("cannot be read", errno, true);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    model.bytes.resize(done);
    return model;
}

ModelFile readModelThroughSceneOpener(const char* path) {
    errno = 0;
    const std::unique_ptr<FILE, StreamCloser> stream(sceneFileOpener(path));
    if (!stream) return failure("cannot be opened", errno != 0 ? errno : ENOENT, false);
    struct stat status {};
    const int fd = fileno(stream.get());
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) return directory();
    ModelFile model;
    unsigned char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0;) {
        model.bytes.insert(model.bytes.end(), buffer, buffer + n);
    }
    if (std::ferror(stream.get())) return failure("cannot be read", EIO, true);
    return model;
}
