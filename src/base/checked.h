// Checked builds (Debug builds and every sanitizer or fuzzer build, where CMake defines
// ORVEL_CHECKED) verify the premises the hierarchies rely on while they run; release builds
// compile the checks away.
#pragma once

#include <cstdio>
#include <cstdlib>
#include "base/console.h"

#ifdef ORVEL_CHECKED
inline constexpr bool checkedBuild = true;
#else
inline constexpr bool checkedBuild = false;
#endif

// In a checked build, ends the process with the broken premise's name when `holds` is false.
inline void expectInvariant(bool holds, const char* premise) {
    if (checkedBuild && !holds) {
        consoleError("ORVEL internal error: %s\n", premise);
        std::abort();
    }
}
