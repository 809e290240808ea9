// 24-bit BMP files: the bitmaps the program saves are written as uncompressed, bottom-up
// BGR rows, each padded to a multiple of four bytes.
#pragma once

#include "icons/IconRaster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

// Length of the file header plus the 40-byte bitmap information header: where the pixels start.
inline constexpr uint32_t kBmpPixelOffset = 14 + 40;

// The bytes of a 24-bit BMP file of the canvas (its alpha is dropped). Raises EPictavoError
// ("位图太大, 无法保存") for a canvas whose file would not fit the format's 32-bit sizes.
std::vector<uint8_t> WriteBmp24(const TRasterCanvas& Bitmap);

// Writes the canvas as a 24-bit BMP file, replacing any file of that name (through a
// temporary file, so a failure leaves the old file intact; a link is followed to its file).
void SaveBitmapToFile(const TRasterCanvas& Bitmap, const std::string& FileName);

}  // namespace pictavo
