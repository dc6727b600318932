// The versions of the image libraries the programs write PNG and JPEG with.
#pragma once

#include <string>

// One line without its line end, e.g. "libpng 1.6.39, libjpeg-turbo 2.1.5 (libjpeg API 62)":
// libpng as the loaded library reports it, libjpeg as its headers give it (the library has no
// call that tells).
std::string imageLibraryVersions();
// Each on its own: "1.6.39", and "libjpeg-turbo 2.1.5 (libjpeg API 62)".
std::string libpngVersion();
std::string libjpegVersion();
