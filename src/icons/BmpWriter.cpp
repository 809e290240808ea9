#include "icons/BmpWriter.h"

#include "base/ByteReader.h"
#include "base/Errors.h"
#include "base/FileIO.h"

#include <stdexcept>

namespace pictavo {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kBitsPerPixel = 24;
constexpr uint32_t BI_RGB = 0;

}  // namespace

std::vector<uint8_t> WriteBmp24(const TRasterCanvas& Bitmap) {
    const uint64_t width = Bitmap.Width > 0 ? static_cast<uint64_t>(Bitmap.Width) : 0;
    const uint64_t height = Bitmap.Height > 0 && width > 0 ? static_cast<uint64_t>(Bitmap.Height) : 0;
    const uint64_t stride = (width * 3 + 3) & ~uint64_t{3};
    const uint64_t imageSize = stride * height;
    if (width > INT32_MAX || height > INT32_MAX || kBmpPixelOffset + imageSize > UINT32_MAX)
        throw EPictavoError(Message("位图太大, 无法保存"));
    if (Bitmap.Pixels.size() < width * height) throw std::logic_error("canvas holds fewer pixels than its size");

    std::vector<uint8_t> out(kBmpPixelOffset + imageSize, 0);
    uint8_t* p = out.data();
    // File header.
    p[0] = 'B';
    p[1] = 'M';
    PutU32le(p + 2, static_cast<uint32_t>(out.size()));
    PutU32le(p + 10, kBmpPixelOffset);
    // Bitmap information header; a positive height stores the rows bottom-up. The resolution
    // fields stay 0 (none recorded).
    p += 14;
    PutU32le(p + 0, kInfoHeaderSize);
    PutU32le(p + 4, static_cast<uint32_t>(width));
    PutU32le(p + 8, static_cast<uint32_t>(height));
    PutU16le(p + 12, 1);
    PutU16le(p + 14, kBitsPerPixel);
    PutU32le(p + 16, BI_RGB);
    PutU32le(p + 20, static_cast<uint32_t>(imageSize));
    // Pixels: the bottom row first, each pixel blue, green, red; the padding stays 0.
    for (uint64_t row = 0; row < height; ++row) {
        const uint64_t y = height - 1 - row;
        uint8_t* dst = out.data() + kBmpPixelOffset + row * stride;
        for (uint64_t x = 0; x < width; ++x) {
            const uint32_t px = Bitmap.Pixels[y * width + x];
            dst[x * 3 + 0] = static_cast<uint8_t>(px);
            dst[x * 3 + 1] = static_cast<uint8_t>(px >> 8);
            dst[x * 3 + 2] = static_cast<uint8_t>(px >> 16);
        }
    }
    return out;
}

void SaveBitmapToFile(const TRasterCanvas& Bitmap, const std::string& FileName) {
    WriteFileAtomically(FileName, WriteBmp24(Bitmap), TSaveTarget::FollowLinks);
}

}  // namespace pictavo
