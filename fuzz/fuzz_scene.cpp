// The libFuzzer entry: every input is a scene. A run that ends in a way the program never should
// (an image left behind by a failed run, or none after a render) counts as a crash, like any
// sanitizer report.
#include <cstdio>
#include <cstdlib>

#include "scene_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SceneRunOutcome outcome = runSceneInput(data, size);
    if (!outcome.sound()) {
        std::fprintf(stderr, "orvel fuzz: unsound outcome: %s\n", outcome.describe().c_str());
        std::abort();
    }
    return 0;
}
