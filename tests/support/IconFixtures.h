// Builders of icon image bytes and .ico files for tests: DIBs of every depth with their
// masks, PNG images, and .ico files with their directory laid out as asked.
#pragma once

#include "icons/AdvancedIcon.h"
#include "icons/IconTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pictavo::test {

// A picture given top row first: 0xAARRGGBB colours and a 0/1 AND mask per pixel.
struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Colour;
    std::vector<uint8_t> Mask;
};

// A deterministic picture with varied colours, opaque where the mask is 0; every seventh
// pixel is transparent. With `colours` > 0 only that many distinct colours are used.
Picture MakePicture(int width, int height, int colours = 0, bool withAlpha = false);

struct DibOptions {
    bool TopDown = false;     // negative height, rows stored top first
    bool Bitfields = false;   // BI_BITFIELDS with 5-6-5 masks (16-bit) or BGRA masks (32-bit)
    bool OmitMask = false;    // leave the AND mask out of the bytes
    bool CoreHeader = false;  // the old 12-byte header with 3-byte palette entries
    bool ZeroAlpha = false;   // 32-bit: store alpha 0 everywhere (the mask decides)
};

// The published icon-image layout: header (height doubled), colour table, colour bits, mask.
// Palette depths take the picture's distinct colours in order of first appearance.
std::vector<uint8_t> MakeDib(const Picture& picture, int bitCount, const DibOptions& options = {});

// PNG bytes of the picture (colour with alpha).
std::vector<uint8_t> MakePng(const Picture& picture);

// One PNG chunk: length, tag, body and CRC.
std::vector<uint8_t> PngChunk(const char* tag, const std::vector<uint8_t>& body);

// Scanlines stored in the first `passes` interlace passes of a width x height picture (a pass
// without columns or rows stores none).
size_t Adam7Scanlines(int width, int height, int passes);

// An 8-bit RGBA PNG of the picture whose compressed stream holds only its first `scanlines`
// stored rows (counted across the passes when interlaced) and ends properly, followed by IEND:
// pixel data that stops early in a file that otherwise looks whole. All of them make a whole PNG;
// `damagedChecksum` alters the stream's Adler-32 (the chunk's CRC still matching).
std::vector<uint8_t> MakePngEndingEarly(const Picture& picture, bool interlaced, size_t scanlines,
                                        bool damagedChecksum = false);

// The picture of a PNG file, decoded whole (without a mask); an empty picture (width 0) when
// it is not one.
Picture ReadPngFile(const std::string& path);

struct IcoImage {
    TIconEntryInfo Info;
    std::vector<uint8_t> Bytes;
};

// An entry info that matches the bytes' size and depth.
TIconEntryInfo InfoFor(int size, int bitCount, size_t byteCount);

// A group-icon resource (type 14) of these images, naming icon resources firstId, firstId + 1, ...
std::vector<uint8_t> GroupResource(const std::vector<IcoImage>& images, uint16_t firstId);

// An .ico file: header, directory and the images back to back. With `reverse`, the image
// bytes are stored in the opposite order of the entries (descending offsets).
std::vector<uint8_t> MakeIco(const std::vector<IcoImage>& images, bool reverse = false);

// An icon whose images are read from .ico bytes made of these images (so every image has its
// entry and data).
std::unique_ptr<TAdvancedIcon> IconOf(const std::vector<IcoImage>& images);

// A type or resource identifier of an NE file: bit 15 set is an integer; otherwise the index
// of a string of the names area, written as that string's offset from the resource table.
struct NeRecord {
    uint16_t Id;
    size_t Blob;  // the data; records may share one
};
struct NeType {
    uint16_t Id;
    std::vector<NeRecord> Records;
};

// An NE file as a resource compiler lays one out: resource table, the resource-name strings,
// a resident-name table holding the module name, then the data of every blob, aligned by the
// smallest shift that lets every position and length fit 16 bits. With `residentFirst` the
// resident-name table stands in front of the resource table instead (as for a table that ends
// too far for a 16-bit offset past it).
std::vector<uint8_t> BuildNe(const std::vector<NeType>& types, const std::vector<std::string>& names,
                             const std::vector<std::vector<uint8_t>>& blobs, bool residentFirst = false);

}  // namespace pictavo::test
