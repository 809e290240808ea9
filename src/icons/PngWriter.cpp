#include "icons/PngWriter.h"

#include "base/Errors.h"

#include <png.h>

#include <bit>

namespace pictavo {

namespace {

// Pictures up to this many pixels are written at libpng's thorough defaults.
constexpr uint64_t kSmallPngPixels = 256 * 256;

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

// Writes the raster's rows as an 8-bit RGBA PNG into `out`; false when libpng fails. libpng
// reports errors by longjmp: nothing with a destructor is made between setjmp and the calls
// that may jump.
bool WriteRows(const TIconRaster& raster, TPngCompression compression, std::vector<uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    if (compression == TPngCompression::Small &&
        static_cast<uint64_t>(raster.Width) * raster.Height <= kSmallPngPixels) {
        // Icons of up to 256 x 256 pixels take a few milliseconds at libpng's defaults (every
        // row filter tried, zlib's default level): the smallest files, at no noticeable cost.
    } else {
        // Larger pictures: one row filter, never a per-row trial of all five (which took most
        // of the time at 4096 x 4096), and zlib's fast levels: written at about the pace the
        // pixels are decoded. Icon art is flat colour, antialiased edges and transparent
        // ground, which compress better unfiltered than through Sub or Up at these levels
        // (measured on 512-pixel icon sets).
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_compression_level(png, compression == TPngCompression::Fast ? 1 : 2);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(raster.Width), static_cast<png_uint_32>(raster.Height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The 0xAARRGGBB pixels are handed over as they lie in memory, libpng putting the bytes
    // in R, G, B, A order as it takes each row: no copy of the picture is made.
    if constexpr (std::endian::native == std::endian::little)
        png_set_bgr(png);  // B, G, R, A in memory
    else
        png_set_swap_alpha(png);  // A, R, G, B in memory
    for (int y = 0; y < raster.Height; ++y)
        png_write_row(png,
                      reinterpret_cast<png_const_bytep>(raster.Colour.data() + static_cast<size_t>(y) * raster.Width));
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
        throw EPictavoError(Message("无法生成 PNG 图像"));
    std::vector<uint8_t> out;
    if (!WriteRows(Raster, Compression, out)) throw EPictavoError(Message("无法生成 PNG 图像"));
    return out;
}

}  // namespace pictavo
