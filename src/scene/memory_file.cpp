#include "scene/memory_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct SceneBytes {
    std::string bytes;
    std::size_t at = 0;
};

ssize_t readSceneBytes(void* cookie, char* to, std::size_t size) {
    SceneBytes& source = *static_cast<SceneBytes*>(cookie);
    const std::size_t count = std::min(size, source.bytes.size() - source.at);
    std::memcpy(to, source.bytes.data() + source.at, count);
    source.at += count;
    return static_cast<ssize_t>(count);
}

int closeSceneBytes(void* cookie) {
    delete static_cast<SceneBytes*>(cookie);
    return 0;
}

}  // namespace

FILE* openSceneBytes(std::string bytes) {
    auto source = std::make_unique<SceneBytes>(SceneBytes{std::move(bytes)});
    const cookie_io_functions_t operations{readSceneBytes, nullptr, nullptr, closeSceneBytes};
    FILE* stream = fopencookie(source.get(), "r", operations);
    if (stream) source.release();  // the stream owns it now
    return stream;
}
