#include "icons/PngWriter.h"

#include "base/Errors.h"

#include <png.h>

#include <cstring>

namespace pictavo {

std::vector<uint8_t> WritePng(const TIconRaster& Raster) {
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
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(Raster.Width);
    image.height = static_cast<png_uint_32>(Raster.Height);
    image.format = PNG_FORMAT_RGBA;
    // The largest file libpng can make of these pixels, cut to what it wrote.
    std::vector<uint8_t> out(PNG_IMAGE_PNG_SIZE_MAX(image));
    png_alloc_size_t size = out.size();
    const bool written = png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    if (!written || size > out.size()) throw EPictavoError("无法生成 PNG 图像");
    out.resize(size);
    return out;
}

void SavePngToFile(const std::string& FileName, const TIconRaster& Raster, TSaveTarget How) {
    WriteFileAtomically(FileName, WritePng(Raster), How);
}

}  // namespace pictavo
