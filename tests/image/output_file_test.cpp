#include "image/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "image/image.h"
#include "support/files.h"

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
    std::fputs(bytes.c_str(), out.stream());
    return out.close(true);
}

}  // namespace

// Both ways of writing a picture, as a file without a name and (as on file systems without them)
// under a hidden temporary name: while it is written the earlier picture stays as it was; closed,
// it takes the name; dropped, or removed as a signal's handler does, it leaves nothing. A name
// that is a symbolic link is written through: the link stays and its target takes the picture.
TEST(OutputFile, APictureTakesItsNameOnlyWhenCompleteAndFollowsALink) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "hidden name");
        allowUnnamedFiles(unnamed);
        TempDir dir;
        const std::string pic = dir.path("pic.ppm");
        ASSERT_TRUE(writePicture(pic, "earlier"));
        {
            OutputFile out;
            ASSERT_TRUE(out.create(pic.c_str()));
            std::fputs("later", out.stream());
            EXPECT_EQ(namesIn(dir).size(), unnamed && offersUnnamedFiles(dir.path()) ? 1u : 2u);
            EXPECT_EQ(readWholeFile(pic), "earlier");
            removeUnfinishedOutput();  // what an interrupted run does
            EXPECT_EQ(namesIn(dir), std::set<std::string>{"pic.ppm"});
            out.discard();
        }
        EXPECT_EQ(readWholeFile(pic), "earlier");
        {
            OutputFile out;
            ASSERT_TRUE(out.create(pic.c_str()));
            out.discard();
        }
        EXPECT_EQ(namesIn(dir), std::set<std::string>{"pic.ppm"});

        fs::create_symlink("pic.ppm", dir.path("link.ppm"));
        ASSERT_TRUE(writePicture(dir.path("link.ppm"), "through the link"));
        EXPECT_TRUE(fs::is_symlink(dir.path("link.ppm")));
        EXPECT_EQ(readWholeFile(pic), "through the link");
        EXPECT_EQ(namesIn(dir), (std::set<std::string>{"link.ppm", "pic.ppm"}));
    }
    allowUnnamedFiles(true);
}
