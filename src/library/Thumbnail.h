// Thumbnails of icon files, executables and icon libraries for file managers: the file's first
// icon drawn from the one image of it that suits the size asked. Only the headers, the icon
// directory (or resource table), the first group and the chosen image's bytes are read, so
// neither the time nor the memory it takes grows with the file.
#pragma once

#include "base/ByteSource.h"
#include "icons/IconRaster.h"
#include "icons/IconTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pictavo {

// The sizes a thumbnail may be asked for, in pixels on its longer side.
inline constexpr int kMinThumbnailSize = 1;
inline constexpr int kMaxThumbnailSize = 1024;

// The most bytes of the chosen image read: past it no image can be decoded (the largest
// picture decoded, 4096 x 4096 at 32 bits with its mask, takes 66 MB).
inline constexpr uint64_t kMaxThumbnailImageBytes = uint64_t{68} << 20;

// Images a thumbnail tries to decode at most, best first, before it gives up on the file.
inline constexpr int kMaxThumbnailAttempts = 4;

// The images of a file's first icon in the order of its directory, with where their bytes
// lie: an .ico file's icon, or for an executable or icon library the first group icon in the
// order `list` and the window show them (the one the platform shows for the file). Empty when
// the file holds no icon or the first icon has no images. Raises EPictavoError with the reason
// for a file of none of these kinds, or one whose directory or first group cannot be read.
std::vector<TImageRange> FirstIconImages(const TByteSource& File);

// One image a thumbnail may be drawn from: where it lies, its own size and its depth.
struct TThumbnailCandidate {
    TImageRange Range;
    TPixelSize Size;
    uint16_t Depth = 0;
};

// The index of the candidate a thumbnail of Size pixels is drawn from, where an image's size
// is the larger of its width and height: the image of exactly Size, else the smallest larger
// one (scaled down), else the largest (scaled up); among images of the same size the deepest,
// then the first listed. -1 when there are none.
int ChooseThumbnailImage(const std::vector<TThumbnailCandidate>& Candidates, int Size);

// The thumbnail of a file: the chosen image decoded and scaled smoothly so that its longer side
// is Size pixels, keeping its aspect ratio (the shorter side rounded, at least 1); transparency
// (alpha or mask) is kept as alpha. When that image cannot be decoded the next best one is
// used. Raises EPictavoError with the reason when the file cannot be opened or read, holds no
// icon, or none of its images can be decoded.
std::unique_ptr<TIconRaster> MakeThumbnail(const std::string& FileName, int Size);
// The same over bytes already at hand (any source: a file, or memory).
std::unique_ptr<TIconRaster> MakeThumbnail(const TByteSource& File, int Size);

}  // namespace pictavo
