// The libFuzzer entry for liborvel's input: every input is scene text handed to
// orvel_render_text, as a host program hands it, at 4 x 4 pixels. What must hold for every input:
// a known status; a picture of the size asked for, or none with a message; and nothing left over
// (the leak checker runs after each input). Inputs that name sample counts are left to the scene
// fuzzer (orvel_fuzz), which caps them: through the interface nothing can, and a count of a few
// million would render for minutes. A render still running after two seconds is cancelled.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "api/orvel.h"

namespace {

constexpr int side = 4;

int withinTime(void* start, int, int) {
    const auto elapsed =
        std::chrono::steady_clock::now() - *static_cast<std::chrono::steady_clock::time_point*>(start);
    return elapsed > std::chrono::seconds(2) ? 1 : 0;
}

[[noreturn]] void unsound(const char* what) {
    std::fprintf(stderr, "orvel api fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.find("samples") != std::string_view::npos) return 0;
    auto start = std::chrono::steady_clock::now();
    orvel_options options;
    orvel_options_init(&options);
    options.width = side;
    options.height = side;
    options.progress = withinTime;
    options.progress_user = &start;
    orvel_picture* picture = nullptr;
    orvel_error error{};
    error.size = sizeof error;
    const orvel_status status = orvel_render_text(text.data(), text.size(), &options, &picture, &error);
    switch (status) {
        case ORVEL_OK:
            if (!picture || picture->width != side || picture->height != side || !picture->pixels)
                unsound("a picture not of the size asked for");
            orvel_picture_free(picture);
            return 0;
        case ORVEL_ERROR_SCENE:
        case ORVEL_ERROR_RENDER:
            if (std::strlen(error.message) == 0) unsound("a failure without a message");
            [[fallthrough]];
        case ORVEL_CANCELLED:
            if (picture) unsound("a picture from a failed render");
            return 0;
        default: unsound("an unexpected status");
    }
}
