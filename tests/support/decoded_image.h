// PNG and JPEG files read back with libpng and libjpeg: the header fields the writer chooses and
// the decoded pixels. Compressed bytes depend on the zlib or libjpeg version; these do not (a
// JPEG's pixels depend on the encoder, so they are compared with those of a reference file).
#pragma once

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

struct DecodedPng {
    bool read = false;  // false when libpng could not read the file
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    std::vector<unsigned char> pixels;  // the rows as stored, top first
};

struct DecodedJpeg {
    bool read = false;  // false when libjpeg could not read the file
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    bool progressive = false;
    bool arithmetic = false;
    std::vector<int> sampling;           // horizontal and vertical factor of each component
    std::vector<unsigned> quantization;  // the 64 quantization steps of each component's table
    std::vector<unsigned char> pixels;   // decoded RGB, top row first
};

namespace decoded_image_detail {

struct MemoryReader {
    const std::string& bytes;
    size_t next = 0;
};

inline void readPngBytes(png_structp png, png_bytep out, size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->bytes.size() - reader->next) png_error(png, "file ends early");
    std::memcpy(out, reader->bytes.data() + reader->next, count);
    reader->next += count;
}

// Only plain values live in this frame and in libpng's, so a libpng error may jump back here.
inline bool decodePng(png_structp png, png_infop info, MemoryReader* reader, DecodedPng* image) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, reader, readPngBytes);
    png_read_info(png, info);
    png_get_IHDR(png, info, &image->width, &image->height, &image->bitDepth, &image->colorType, &image->interlace, nullptr,
                 nullptr);
    const size_t rowBytes = png_get_rowbytes(png, info);
    image->pixels.resize(rowBytes * image->height);
    for (png_uint_32 y = 0; y < image->height; ++y) png_read_row(png, image->pixels.data() + y * rowBytes, nullptr);
    png_read_end(png, nullptr);
    return true;
}

struct JpegErrorTrap {
    jpeg_error_mgr manager;  // first, so libjpeg's pointer to it points to the trap
    std::jmp_buf recovery;
};

[[noreturn]] inline void leaveOnJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorTrap*>(cinfo->err)->recovery, 1);
}

// Only plain C records live in this frame and in libjpeg's, so a libjpeg error may jump back here.
inline bool decodeJpeg(jpeg_decompress_struct* cinfo, JpegErrorTrap* trap, const std::string& bytes, DecodedJpeg* image) {
    if (setjmp(trap->recovery)) return false;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(cinfo, TRUE);
    image->width = cinfo->image_width;
    image->height = cinfo->image_height;
    image->components = cinfo->num_components;
    image->colorSpace = cinfo->jpeg_color_space;
    image->progressive = cinfo->progressive_mode;
    image->arithmetic = cinfo->arith_code;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& component = cinfo->comp_info[c];
        image->sampling.push_back(component.h_samp_factor);
        image->sampling.push_back(component.v_samp_factor);
        const JQUANT_TBL* table = cinfo->quant_tbl_ptrs[component.quant_tbl_no];
        for (int k = 0; table && k < DCTSIZE2; ++k) image->quantization.push_back(table->quantval[k]);
    }
    cinfo->out_color_space = JCS_RGB;
    cinfo->dct_method = JDCT_ISLOW;
    jpeg_start_decompress(cinfo);
    const size_t rowBytes = static_cast<size_t>(cinfo->output_width) * cinfo->output_components;
    image->pixels.resize(rowBytes * cinfo->output_height);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = image->pixels.data() + cinfo->output_scanline * rowBytes;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace decoded_image_detail

inline DecodedPng decodePng(const std::string& bytes) {
    DecodedPng image;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    decoded_image_detail::MemoryReader reader{bytes};
    image.read = info && decoded_image_detail::decodePng(png, info, &reader, &image);
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}

inline DecodedJpeg decodeJpeg(const std::string& bytes) {
    DecodedJpeg image;
    jpeg_decompress_struct cinfo{};
    decoded_image_detail::JpegErrorTrap trap{};
    cinfo.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = decoded_image_detail::leaveOnJpegError;
    jpeg_create_decompress(&cinfo);
    image.read = decoded_image_detail::decodeJpeg(&cinfo, &trap, bytes, &image);
    jpeg_destroy_decompress(&cinfo);
    return image;
}
