// One untrusted scene through the whole run, the way the fuzzer drives it: the bytes are parsed as
// a scene file, the hierarchy is built and a picture of a few pixels is rendered into a private
// directory. Every count that multiplies the work is capped so that no input is slow, whatever
// resolution or sample counts it asks for. The regression tests run the same function over the
// inputs that once failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The largest picture side and the largest sample counts (lens, smooth shadow and fuzzy
// reflection rays) a fuzzed scene renders with, and the most lights it keeps.
inline constexpr int fuzzMaxSide = 4;
inline constexpr int fuzzMaxSamples = 2;
inline constexpr int fuzzMaxLights = 4;

struct SceneRunOutcome {
    int status;         // what the program would exit with: 0 after a render
    bool imageWritten;  // the output file was there after the run
    bool strayFiles;    // something else was left in the output directory
    // A completed render leaves exactly its image; a failed run leaves nothing.
    bool sound() const { return !strayFiles && imageWritten == (status == 0); }
    std::string describe() const;
};

// Reads the bytes as a scene and renders it from the program's start-up state; releases
// everything it built and removes what it wrote. The working directory is where `include`
// names are looked up first (the scene itself lies alone in a directory of its own, where they
// are looked for next): run it where there is nothing to include.
SceneRunOutcome runSceneInput(const std::uint8_t* data, std::size_t size);
