// PNG files of icon pixels: 8-bit RGBA with the raster's alpha, written through libpng.
#pragma once

#include "base/FileIO.h"
#include "icons/IconRaster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

// How hard the pixels are compressed. Small: for images that are kept; up to 256 x 256 pixels
// at libpng's thorough defaults, larger ones unfiltered at zlib level 2. Fast: for pictures made
// on demand, unfiltered at level 1. Large pictures are so written at about the pace they are
// decoded: a 4096 x 4096 one in a tenth of a second.
enum class TPngCompression { Small, Fast };

// The bytes of a PNG file of the raster: 8 bits per channel, colour and alpha. A raster without
// real alpha already carries alpha 0 where its mask is set and 255 elsewhere, so the mask is
// kept as transparency. Raises EPictavoError ("无法生成 PNG 图像") for a raster without pixels
// or one libpng refuses.
std::vector<uint8_t> WritePng(const TIconRaster& Raster, TPngCompression Compression = TPngCompression::Small);

}  // namespace pictavo
