#include "image/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "support/files.h"
#include "support/system_calls.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename());
    return names;
}

// Writes `bytes` to a new picture file of that name and closes it.
bool writePicture(const std::string& name, const std::string& bytes) {
    OutputFile out;
    if (!out.create(name.c_str())) return false;
    FILE* file = out.begin();
    return file && std::fputs(bytes.c_str(), file) >= 0 && out.close(true);
}

}  // namespace

// A name that is a symbolic link to an earlier picture is written through, by both ways of
// writing a picture (as a file without a name, and under a hidden temporary name as on file
// systems without them): the link stays a link, its target takes the new picture, nothing else is
// left.
TEST(OutputFile, ALinkToAnEarlierPictureIsWrittenThrough) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "hidden name");
        refuseUnnamedFiles = !unnamed;
        TempDir dir;
        ASSERT_TRUE(writePicture(dir.path("pic.ppm"), "earlier"));
        fs::create_symlink("pic.ppm", dir.path("link.ppm"));
        ASSERT_TRUE(writePicture(dir.path("link.ppm"), "through the link"));
        EXPECT_TRUE(fs::is_symlink(dir.path("link.ppm")));
        EXPECT_EQ(readWholeFile(dir.path("pic.ppm")), "through the link");
        EXPECT_EQ(namesIn(dir), (std::set<std::string>{"link.ppm", "pic.ppm"}));
    }
    refuseUnnamedFiles = false;
}
