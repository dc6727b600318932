#include "image/jpg.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "support/temp_dir.h"

using Table = std::vector<UINT16>;

namespace {

// The luminance quantization table of a JPEG file, read with libjpeg (its standard error
// handler: a file it cannot read ends the test run), and its size.
Table readTable(const std::string& file, JDIMENSION* width, JDIMENSION* height) {
    FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return {};
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    const Table table(cinfo.quant_tbl_ptrs[0]->quantval, cinfo.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    *width = cinfo.image_width;
    *height = cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
    return table;
}

// The luminance table libjpeg builds for quality (baseline).
Table tableFor(int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    const Table table(cinfo.quant_tbl_ptrs[0]->quantval, cinfo.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    jpeg_destroy_compress(&cinfo);
    return table;
}

}  // namespace

TEST(Jpg, QualityIsClampedStoredBackAndUsedForTheTables) {
    TempDir dir;
    const std::string file = dir.path("q.jpg");
    const std::pair<int, int> cases[] = {{0, 90}, {-5, 90}, {150, 100}, {101, 100}, {75, 75}, {1, 1}};
    for (auto [setting, quality] : cases) {
        SCOPED_TRACE(setting);
        jpeg_quality = setting;
        ASSERT_EQ(openJPG(file.c_str(), 24, 8), 0);
        std::vector<unsigned char> row(72, 200);
        for (int y = 0; y < 8; ++y) writeJPGLine(row.data(), y);
        ASSERT_EQ(closeJPG(), 0);
        EXPECT_EQ(jpeg_quality, quality);
        JDIMENSION width = 0, height = 0;
        EXPECT_EQ(readTable(file, &width, &height), tableFor(quality));
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(24u, 8u));
    }
    EXPECT_NE(tableFor(90), tableFor(75));
    jpeg_quality = 0;
}
