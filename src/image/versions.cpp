#include "image/versions.h"

#include <png.h>

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

std::string libjpegVersion() {
    const std::string api = "libjpeg API " + std::to_string(JPEG_LIB_VERSION);
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
    constexpr int number = LIBJPEG_TURBO_VERSION_NUMBER;  // major * 1000000 + minor * 1000 + patch
    return "libjpeg-turbo " + std::to_string(number / 1000000) + "." + std::to_string(number / 1000 % 1000) +
           "." + std::to_string(number % 1000) + " (" + api + ")";
#else
    return api;
#endif
}

std::string libpngVersion() { return png_get_libpng_ver(nullptr); }

std::string imageLibraryVersions() { return "libpng " + libpngVersion() + ", " + libjpegVersion(); }
