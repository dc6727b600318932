// PNG and JPEG files read back with libpng and libjpeg: the header fields the writer chooses and
// the decoded pixels. Compressed bytes depend on the zlib or libjpeg version; these do not (a
// JPEG's pixels depend on the encoder, so they are compared with those of a reference file).
#pragma once

#include <cstddef>  // jpeglib.h needs FILE and size_t declared first
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <span>
#include <string>
#include <vector>

struct DecodedPng {
    bool read = false;                  // false when libpng could not read the file
    std::vector<unsigned> header;       // width, height, bit depth, colour type, interlace method
    std::vector<unsigned char> pixels;  // as 8-bit RGB, top row first
};

struct DecodedJpeg {
    bool read = false;  // false when libjpeg could not read the file
    JDIMENSION width = 0, height = 0;
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    bool progressive = false, arithmetic = false;
    std::vector<int> sampling;           // horizontal and vertical factor of each component
    std::vector<unsigned> quantization;  // the 64 quantization steps of each component's table
    std::vector<unsigned char> pixels;   // decoded RGB, top row first
};

// The header fields come from the IHDR chunk, which a valid PNG has at byte 8, its fields at 16;
// libpng frees what it allocated once the pixels are read or reading failed.
inline DecodedPng decodePng(const std::string& bytes) {
    DecodedPng image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return image;
    const auto at = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
    const auto word = [&](size_t k) { return at(k) << 24 | at(k + 1) << 16 | at(k + 2) << 8 | at(k + 3); };
    image.header = {word(16), word(20), at(24), at(25), at(28)};
    png.format = PNG_FORMAT_RGB;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    image.read = png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr);
    return image;
}

inline thread_local std::jmp_buf jpegRecovery;  // where a libjpeg error jumps back to

inline DecodedJpeg decodeJpeg(const std::string& bytes) {
    DecodedJpeg image;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { std::longjmp(jpegRecovery, 1); };
    jpeg_create_decompress(&cinfo);
    // Only plain values live in this frame and in libjpeg's, so a libjpeg error may jump back here.
    image.read = [&] {
        if (setjmp(jpegRecovery)) return false;
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        jpeg_read_header(&cinfo, TRUE);
        image = {false,
                 cinfo.image_width,
                 cinfo.image_height,
                 cinfo.num_components,
                 cinfo.jpeg_color_space,
                 bool(cinfo.progressive_mode),
                 bool(cinfo.arith_code),
                 {},
                 {},
                 {}};
        for (const jpeg_component_info& c : std::span(cinfo.comp_info, cinfo.num_components)) {
            image.sampling.insert(image.sampling.end(), {c.h_samp_factor, c.v_samp_factor});
            const JQUANT_TBL* table = cinfo.quant_tbl_ptrs[c.quant_tbl_no];
            if (table) image.quantization.insert(image.quantization.end(), table->quantval, table->quantval + DCTSIZE2);
        }
        cinfo.out_color_space = JCS_RGB;
        cinfo.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&cinfo);
        const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
        image.pixels.resize(rowBytes * cinfo.output_height);
        for (JSAMPROW row; cinfo.output_scanline < cinfo.output_height; jpeg_read_scanlines(&cinfo, &row, 1))
            row = image.pixels.data() + cinfo.output_scanline * rowBytes;
        jpeg_finish_decompress(&cinfo);
        return true;
    }();
    jpeg_destroy_decompress(&cinfo);
    return image;
}
