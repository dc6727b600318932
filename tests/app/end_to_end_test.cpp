// Whole runs: scenes rendered to every format and compared with the images in tests/data (made by
// `orvel -i tests/data/e2e_NAME.orv -o e2e_NAME -FORMAT`; any change to them must be deliberate),
// and the options whose effect only shows in a render. TGA, BMP and PPM must match byte for byte;
// PNG and JPEG in the header fields the writer sets and in their decoded pixels, so that another
// zlib or libjpeg, compressing the same picture into other bytes, still passes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/decoded_image.h"
#include "support/files.h"
#include "support/parse_fixture.h"

namespace {

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

// Where two decoded pictures first differ, for the failure message.
std::string firstDifference(const std::vector<unsigned char>& got, const std::vector<unsigned char>& want) {
    if (got.size() != want.size()) return std::to_string(got.size()) + " samples instead of " + std::to_string(want.size());
    for (size_t k = 0; k < got.size(); ++k) {
        if (got[k] != want[k]) {
            return "sample " + std::to_string(k) + " is " + std::to_string(got[k]) + ", not " + std::to_string(want[k]);
        }
    }
    return "";
}

// An 8-bit RGB PNG without interlace, of the reference's size and pixels.
void expectSamePng(const std::string& file, const std::string& reference) {
    const DecodedPng got = decodePng(readWholeFile(file)), want = decodePng(readWholeFile(reference));
    ASSERT_TRUE(got.read && want.read) << file << " or " << reference << " is no PNG";
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(got.bitDepth, 8);
    EXPECT_EQ(got.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(got.interlace, PNG_INTERLACE_NONE);
    EXPECT_EQ(firstDifference(got.pixels, want.pixels), "");
}

// A baseline three-component YCbCr JPEG of the reference's size, sampling and quantization (the
// quality) whose decoded pixels are the reference's.
void expectSameJpeg(const std::string& file, const std::string& reference) {
    const DecodedJpeg got = decodeJpeg(readWholeFile(file)), want = decodeJpeg(readWholeFile(reference));
    ASSERT_TRUE(got.read && want.read) << file << " or " << reference << " is no JPEG";
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(got.components, 3);
    EXPECT_EQ(got.colorSpace, JCS_YCbCr);
    EXPECT_FALSE(got.progressive);
    EXPECT_FALSE(got.arithmetic);
    EXPECT_EQ(got.sampling, want.sampling);
    EXPECT_EQ(got.quantization, want.quantization);
    EXPECT_EQ(firstDifference(got.pixels, want.pixels), "");
}

// Every reference scene in every format, with these options, must give the reference image.
void expectReferenceImages(bool multi, const std::vector<std::string>& options) {
    TempDir dir;
    for (const std::string scene : {"e2e_flat", "e2e_fisheye"}) {
        for (const std::string format : {"tga", "bmp", "ppm", "png", "jpg"}) {
            SCOPED_TRACE(scene + "." + format + (multi ? " in " + options.back() + " bands" : ""));
            std::vector<std::string> args = {"-i", dataDir + "/" + scene + ".orv", "-o", "image", "-" + format};
            args.insert(args.end(), options.begin(), options.end());
            EXPECT_EQ(runProgram(orvelProgram(multi), args, dir.path()).status, 0);
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

TEST(EndToEnd, RendersMatchTheReferenceImages) { expectReferenceImages(false, {}); }

TEST(EndToEndThreads, EveryBandCountRendersTheSameBytes) {
    for (const char* threads : {"2", "4", "8"}) expectReferenceImages(true, {"-t", threads});
}

TEST(EndToEndThreads, CommandLineWinsOverTheSettingsBlock) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "settings { output_type \"ppm\" output_name \"pic\" }\n"
                                         << "sphere { center <0 0 0> radius 1 }\n";
    auto run = [&](bool multi, std::vector<std::string> args) {
        args.insert(args.begin(), {"-i", "scene.orv"});
        return runProgram(orvelProgram(multi), args, dir.path());
    };
    // The last settings block (no resolution: 320 x 240) decides what the command line leaves.
    ProgramRun r = run(false, {"-w", "80"});
    EXPECT_NE(r.out.find(" Rendering to: pic.ppm\n Resolution:   80 x 240\n"), std::string::npos) << r.out;
    EXPECT_EQ(readWholeFile(dir.path("pic.ppm")).substr(0, 14), "P6\n80 240\n255\n");
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "plain"}).status, 0);
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "off", "-aaq", "-aan"}).status, 0);
    EXPECT_EQ(run(false, {"-r", "32", "24", "-o", "quick", "-aan", "-aaq"}).status, 0);
    EXPECT_EQ(readWholeFile(dir.path("off.ppm")), readWholeFile(dir.path("plain.ppm")));
    EXPECT_NE(readWholeFile(dir.path("quick.ppm")), readWholeFile(dir.path("plain.ppm")));
    // Messages of options come once per pass over the command line: before and after the scene.
    r = run(true, {"-r", "16", "12", "-t", "3", "-pqs", "100"});
    EXPECT_EQ(r.status, 0);
    const std::string messages =
        " Invalid number of threads: defaulting to 2 threads\n\n Defaulting priority queue size to 100\n";
    const auto first = r.out.find(messages), second = r.out.find(messages, first + 1);
    EXPECT_TRUE(first < r.out.find(" Parsing") && second > r.out.find(" Number of light(s)") && second != std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" Running 2 threads\n"), std::string::npos);
    EXPECT_EQ(run(false, {"-r", "8", "6", "--pqsize", "101"}).out.find("priority queue"), std::string::npos);
}

}  // namespace
