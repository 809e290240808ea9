#include "icons/PngWriter.h"

#include "base/Errors.h"

#include <png.h>
#include <zlib.h>

#include <cstring>

namespace pictavo {

namespace {

// No exception may cross libpng's C frames: a failed append becomes libpng's own error.
void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    bool appended = true;
    try {
        auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
        out->insert(out->end(), data, data + length);
    } catch (...) {
        appended = false;
    }
    if (!appended) png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

// libpng's messages are not printed: a failure is reported by the caller.
void Quiet(png_structp, png_const_charp) {}
[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Writes 8-bit RGBA rows as a PNG file into `out`; false when libpng fails. libpng reports errors
// by longjmp: nothing with a destructor is made between setjmp and the calls that may jump.
bool WriteRows(int width, int height, png_bytep* rows, bool fast, std::vector<uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_compression_level(png, fast ? Z_BEST_SPEED : Z_DEFAULT_COMPRESSION);
    // Fast: one cheap row filter instead of trying all five on every row.
    if (fast) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::vector<uint8_t> WritePng(const TIconRaster& Raster, TPngCompression Compression) {
    const size_t pixels = Raster.Width > 0 && Raster.Height > 0
                              ? static_cast<size_t>(Raster.Width) * static_cast<size_t>(Raster.Height)
                              : 0;
    if (pixels == 0 || Raster.Colour.size() < pixels || Raster.Width > kMaxIconDimension ||
        Raster.Height > kMaxIconDimension)
        throw EPictavoError("无法生成 PNG 图像");
    // 0xAARRGGBB pixels as R, G, B, A bytes, whatever the host's byte order.
    std::vector<uint8_t> rgba(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t px = Raster.Colour[i];
        rgba[i * 4 + 0] = static_cast<uint8_t>(px >> 16);
        rgba[i * 4 + 1] = static_cast<uint8_t>(px >> 8);
        rgba[i * 4 + 2] = static_cast<uint8_t>(px);
        rgba[i * 4 + 3] = static_cast<uint8_t>(px >> 24);
    }
    std::vector<uint8_t> out;
    std::vector<png_bytep> rows(static_cast<size_t>(Raster.Height));
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = rgba.data() + y * static_cast<size_t>(Raster.Width) * 4;
    if (!WriteRows(Raster.Width, Raster.Height, rows.data(), Compression == TPngCompression::Fast, out)) throw EPictavoError("无法生成 PNG 图像");
    return out;
}

void SavePngToFile(const std::string& FileName, const TIconRaster& Raster, TSaveTarget How,
                   TPngCompression Compression) {
    WriteFileAtomically(FileName, WritePng(Raster, Compression), How);
}

}  // namespace pictavo
