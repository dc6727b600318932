// Whole runs: scenes rendered to every format and compared with the images in tests/data (made by
// `orvel -i tests/data/e2e_NAME.orv -o e2e_NAME -FORMAT`; any change to them must be deliberate).
// TGA, BMP and PPM must match byte for byte; PNG and JPEG in the header fields the writer sets and
// in their decoded pixels, so that another zlib or libjpeg, compressing the same picture into
// other bytes, still passes.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/decoded_image.h"
#include "support/files.h"

namespace {

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

// An 8-bit RGB PNG without interlace, of the reference's size and pixels.
void expectSamePng(const std::string& file, const std::string& reference) {
    const DecodedPng got = decodePng(readWholeFile(file)), want = decodePng(readWholeFile(reference));
    ASSERT_TRUE(got.read && want.read) << file << " or " << reference << " is no PNG";
    EXPECT_EQ(got.header,
              (std::vector<unsigned>{want.header[0], want.header[1], 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE}));
    EXPECT_TRUE(got.pixels == want.pixels);
}

// A baseline three-component YCbCr JPEG of the reference's size, sampling and quantization (the
// quality) whose decoded pixels are the reference's.
void expectSameJpeg(const std::string& file, const std::string& reference) {
    const DecodedJpeg got = decodeJpeg(readWholeFile(file)), want = decodeJpeg(readWholeFile(reference));
    ASSERT_TRUE(got.read && want.read) << file << " or " << reference << " is no JPEG";
    EXPECT_EQ(std::tuple(got.width, got.height, got.components, got.colorSpace, got.progressive, got.arithmetic),
              std::tuple(want.width, want.height, 3, JCS_YCbCr, false, false));
    EXPECT_TRUE(got.sampling == want.sampling && got.quantization == want.quantization && got.pixels == want.pixels);
}

// Every reference scene in every format, from orvel and from orvel-mt in 2, 4 and 8 bands.
TEST(EndToEnd, RendersMatchTheReferenceImages) {
    TempDir dir;
    for (const char* threads : {"", "2", "4", "8"}) {
        for (const std::string scene : {"e2e_flat", "e2e_fisheye"}) {
            for (const std::string format : {"tga", "bmp", "ppm", "png", "jpg"}) {
                SCOPED_TRACE(scene + "." + format + " in bands: " + threads);
                std::vector<std::string> args = {"-i", dataDir + "/" + scene + ".orv", "-o", "image", "-" + format};
                if (*threads) args.insert(args.end(), {"-t", threads});
                EXPECT_EQ(runProgram(orvelProgram(*threads != 0), args, dir.path()).status, 0);
                const std::string file = dir.path("image." + format), reference = dataDir + "/" + scene + "." + format;
                if (format == "png") {
                    expectSamePng(file, reference);
                } else if (format == "jpg") {
                    expectSameJpeg(file, reference);
                } else {
                    EXPECT_TRUE(readWholeFile(file) == readWholeFile(reference));
                }
            }
        }
    }
}

}  // namespace
