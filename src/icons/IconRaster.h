// Icon pixels: image bytes (a DIB with its AND mask, or PNG) decoded into a raster of
// 32-bit ARGB colour and a 1-bit AND mask. This is what an image's "handle" is here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace pictavo {

// Largest width or height decoded. Applications ship icon images of 1024 and 2048 pixels;
// the limit keeps a tiny compressed PNG or a forged header from asking for gigabytes (a
// 4096 x 4096 raster holds 80 MB).
inline constexpr int kMaxIconDimension = 4096;

// Bytes a decoded raster of width x height pixels holds (colour and mask).
inline constexpr uint64_t RasterBytes(int width, int height) {
    return static_cast<uint64_t>(width > 0 ? width : 0) * static_cast<uint64_t>(height > 0 ? height : 0) * 5;
}

struct TIconRaster {
    int Width = 0;
    int Height = 0;
    // 0xAARRGGBB, rows top to bottom. For images without alpha, A is 0 where the mask is
    // set and 255 elsewhere; the RGB values are kept as stored.
    std::vector<uint32_t> Colour;
    // The AND mask, one entry per pixel (1 = the pixel lets the background through).
    std::vector<uint8_t> Mask;
    // True when Colour carries real alpha (32-bit images with non-zero alpha, PNG): drawing
    // blends with alpha. Otherwise drawing is "background AND mask, XOR colour".
    bool HasAlpha = false;

    uint32_t Pixel(int x, int y) const { return Colour[static_cast<size_t>(y) * Width + x]; }
    bool MaskBit(int x, int y) const { return Mask[static_cast<size_t>(y) * Width + x] != 0; }
};

// True when the bytes begin with the PNG signature.
bool IsPngData(std::span<const uint8_t> bytes);

// The header fields of image bytes that their size and depth come from, read in one place for
// the decoder and for the size and depth the program shows.
struct TImageHeader {
    bool Png = false;
    bool Core = false;        // the old 12-byte bitmap header with 16-bit fields
    uint32_t HeaderSize = 0;  // bitmap header length
    // Width and height as stored, zero-extended: a bitmap's height counts the colour rows and
    // the mask rows, and read as signed it is negative for rows stored top-down.
    uint32_t RawWidth = 0;
    uint32_t RawHeight = 0;
    // Whether the fields below were all there (a bitmap header may be cut short).
    bool Complete = false;
    uint16_t BitCount = 0;  // bitmap bits per pixel; PNG: bit depth times channels
    uint32_t Compression = 0;
    uint32_t ColorsUsed = 0;
};

// The header of image bytes; nothing when not even the width and height are there.
std::optional<TImageHeader> ReadImageHeader(std::span<const uint8_t> bytes);

// The picture's own width and height in pixels as the decoder makes them (a bitmap's height
// counts the colour and the mask rows and is halved, whichever order the rows are stored in);
// nothing when either is not positive or passes kMaxIconDimension.
struct TPixelSize {
    int Width = 0;
    int Height = 0;
};
std::optional<TPixelSize> ImagePixelSize(const TImageHeader& header);

// Decodes image bytes. A desired width or height of 0 means the image's own; any other
// size scales the picture smoothly. Returns nullptr when the bytes cannot be decoded.
std::unique_ptr<TIconRaster> DecodeIconImage(std::span<const uint8_t> bytes, int desiredWidth = 0,
                                             int desiredHeight = 0);

// How many times DecodeIconImage has run in this process, so that measurements can tell how
// many images were decoded.
uint64_t DecodedRasterCount();

// A smooth resampling of a raster to another size (both at least 1).
std::unique_ptr<TIconRaster> ScaleRaster(const TIconRaster& source, int width, int height);

// A plain 32-bit ARGB drawing surface, the core's stand-in for a device context.
struct TRasterCanvas {
    TRasterCanvas() = default;
    TRasterCanvas(int width, int height, uint32_t fill = 0xFFFFFFFFu)
        : Width(width), Height(height), Pixels(static_cast<size_t>(width) * height, fill) {}
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t Pixel(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

// Draws a raster with its mask applied, top-left at (x, y), at width x height (0: the
// raster's own size). Pixels outside the canvas are clipped.
void DrawIconRaster(TRasterCanvas& canvas, int x, int y, const TIconRaster* raster, int width = 0, int height = 0);

}  // namespace pictavo
