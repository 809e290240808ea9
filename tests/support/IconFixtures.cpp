#include "support/IconFixtures.h"

#include "base/ByteReader.h"
#include "base/Streams.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace pictavo::test {

Picture MakePicture(int width, int height, int colours, bool withAlpha) {
    Picture p;
    p.Width = width;
    p.Height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int i = y * width + x;
            uint32_t rgb;
            if (colours > 0) {
                const uint32_t k = static_cast<uint32_t>((x * 3 + y * 5) % colours);
                rgb = ((k * 37u) & 0xFF) << 16 | ((k * 91u) & 0xFF) << 8 | ((k * 53u + 17u) & 0xFF);
            } else {
                rgb = (static_cast<uint32_t>(x * 255 / std::max(1, width - 1)) << 16) |
                      (static_cast<uint32_t>(y * 255 / std::max(1, height - 1)) << 8) |
                      static_cast<uint32_t>((x * y) & 0xFF);
            }
            const bool transparent = i % 7 == 3;
            uint32_t a = transparent ? 0 : 255;
            if (withAlpha && !transparent)
                a = 64 + static_cast<uint32_t>((x + y) * 191 / std::max(1, width + height - 2));
            // Under the mask: black, or the first palette colour for pictures of few colours.
            const uint32_t hidden = colours > 0 ? 17u : 0u;
            p.Colour.push_back((a << 24) | (transparent && !withAlpha ? hidden : rgb));
            p.Mask.push_back(transparent ? 1 : 0);
        }
    return p;
}

std::vector<uint8_t> MakeDib(const Picture& picture, int bitCount, const DibOptions& options) {
    const int w = picture.Width, h = picture.Height;
    std::vector<uint32_t> palette;
    if (bitCount <= 8) {
        for (uint32_t c : picture.Colour) {
            c &= 0x00FFFFFF;
            if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
        }
        if (palette.size() > (1u << bitCount)) throw std::logic_error("too many colours for the depth");
        palette.resize(1u << bitCount, 0);
    }
    const size_t headerSize = options.CoreHeader ? 12 : 40;
    const size_t paletteEntry = options.CoreHeader ? 3 : 4;
    const size_t xorStride = ((static_cast<size_t>(w) * bitCount + 31) / 32) * 4;
    const size_t andStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
    std::vector<uint8_t> out(headerSize);
    if (options.CoreHeader) {
        PutU32le(&out[0], 12);
        PutU16le(&out[4], static_cast<uint16_t>(w));
        PutU16le(&out[6], static_cast<uint16_t>(h * 2));
        PutU16le(&out[8], 1);
        PutU16le(&out[10], static_cast<uint16_t>(bitCount));
    } else {
        PutU32le(&out[0], 40);
        PutU32le(&out[4], static_cast<uint32_t>(w));
        PutU32le(&out[8], static_cast<uint32_t>(options.TopDown ? -2 * h : 2 * h));
        PutU16le(&out[12], 1);
        PutU16le(&out[14], static_cast<uint16_t>(bitCount));
        PutU32le(&out[16], options.Bitfields ? 3 : 0);
        PutU32le(&out[20], static_cast<uint32_t>((xorStride + andStride) * h));
    }
    auto put32 = [&](uint32_t v) {
        const size_t at = out.size();
        out.resize(at + 4);
        PutU32le(&out[at], v);
    };
    if (options.Bitfields) {
        if (bitCount == 16) {
            put32(0xF800);
            put32(0x07E0);
            put32(0x001F);
        } else {
            put32(0x00FF0000);
            put32(0x0000FF00);
            put32(0x000000FF);
        }
    }
    for (uint32_t c : palette) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        if (!options.CoreHeader) out.push_back(0);
    }
    (void)paletteEntry;
    const size_t bitsAt = out.size();
    out.resize(bitsAt + xorStride * h + (options.OmitMask ? 0 : andStride * h), 0);
    for (int y = 0; y < h; ++y) {
        const int row = options.TopDown ? y : h - 1 - y;
        uint8_t* dst = &out[bitsAt + static_cast<size_t>(row) * xorStride];
        for (int x = 0; x < w; ++x) {
            const uint32_t c = picture.Colour[static_cast<size_t>(y) * w + x];
            const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            switch (bitCount) {
            case 1:
            case 4:
            case 8: {
                const auto index =
                    static_cast<uint32_t>(std::find(palette.begin(), palette.end(), c & 0x00FFFFFF) - palette.begin());
                const size_t bit = static_cast<size_t>(x) * bitCount;
                dst[bit / 8] |= static_cast<uint8_t>(index << (8 - bitCount - bit % 8));
                break;
            }
            case 16: {
                const uint32_t v = options.Bitfields ? ((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                                                     : ((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                PutU16le(dst + x * 2, static_cast<uint16_t>(v));
                break;
            }
            case 24:
                dst[x * 3] = static_cast<uint8_t>(b);
                dst[x * 3 + 1] = static_cast<uint8_t>(g);
                dst[x * 3 + 2] = static_cast<uint8_t>(r);
                break;
            case 32:
                PutU32le(dst + x * 4, options.ZeroAlpha ? (c & 0x00FFFFFF) : c);
                break;
            default:
                throw std::logic_error("unsupported depth");
            }
        }
        if (!options.OmitMask) {
            uint8_t* mask = &out[bitsAt + xorStride * h + static_cast<size_t>(row) * andStride];
            for (int x = 0; x < w; ++x)
                if (picture.Mask[static_cast<size_t>(y) * w + x]) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return out;
}

std::vector<uint8_t> MakePng(const Picture& picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.Width);
    image.height = static_cast<png_uint_32>(picture.Height);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.Colour.data(), 0, nullptr))
        throw std::runtime_error("png size");
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, picture.Colour.data(), 0, nullptr))
        throw std::runtime_error("png write");
    out.resize(size);
    return out;
}

std::vector<uint8_t> PngChunk(const char* tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(8 + body.size() + 4);
    png_save_uint_32(out.data(), static_cast<png_uint_32>(body.size()));
    std::memcpy(&out[4], tag, 4);
    std::copy(body.begin(), body.end(), out.begin() + 8);
    png_save_uint_32(&out[8 + body.size()],
                     static_cast<png_uint_32>(crc32(0, &out[4], static_cast<uInt>(4 + body.size()))));
    return out;
}

size_t Adam7Scanlines(int width, int height, int passes) {
    size_t n = 0;
    for (int pass = 0; pass < passes && pass < 7; ++pass)
        if (PNG_PASS_COLS(width, pass)) n += PNG_PASS_ROWS(height, pass);
    return n;
}

std::vector<uint8_t> MakePngEndingEarly(const Picture& picture, bool interlaced, size_t scanlines,
                                        bool damagedChecksum) {
    // The stored rows, each with filter byte 0, in the order they are stored.
    std::vector<uint8_t> raw;
    size_t stored = 0;
    auto addRow = [&](int y, int x0, int dx) {
        if (stored++ >= scanlines) return;
        raw.push_back(0);
        for (int x = x0; x < picture.Width; x += dx) {
            const uint32_t c = picture.Colour[static_cast<size_t>(y) * picture.Width + x];
            raw.insert(raw.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                                   static_cast<uint8_t>(c >> 24)});
        }
    };
    if (!interlaced) {
        for (int y = 0; y < picture.Height; ++y) addRow(y, 0, 1);
    } else {
        for (int pass = 0; pass < 7; ++pass) {
            if (!PNG_PASS_COLS(picture.Width, pass)) continue;
            for (int y = PNG_PASS_START_ROW(pass); y < picture.Height; y += 1 << PNG_PASS_ROW_SHIFT(pass))
                addRow(y, PNG_PASS_START_COL(pass), 1 << PNG_PASS_COL_SHIFT(pass));
        }
    }
    std::vector<uint8_t> idat(compressBound(static_cast<uLong>(raw.size())));
    uLongf idatSize = static_cast<uLongf>(idat.size());
    if (compress(idat.data(), &idatSize, raw.data(), static_cast<uLong>(raw.size())) != Z_OK)
        throw std::runtime_error("deflate");
    idat.resize(idatSize);
    if (damagedChecksum) idat.back() ^= 0x55;
    std::vector<uint8_t> ihdr(13, 0);
    png_save_uint_32(&ihdr[0], static_cast<png_uint_32>(picture.Width));
    png_save_uint_32(&ihdr[4], static_cast<png_uint_32>(picture.Height));
    ihdr[8] = 8;
    ihdr[9] = PNG_COLOR_TYPE_RGB_ALPHA;
    ihdr[12] = interlaced ? 1 : 0;
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const auto& chunk : {PngChunk("IHDR", ihdr), PngChunk("IDAT", idat), PngChunk("IEND", {})})
        png.insert(png.end(), chunk.begin(), chunk.end());
    return png;
}

Picture ReadPngFile(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB on a little-endian host
    Picture picture{static_cast<int>(image.width), static_cast<int>(image.height), {}, {}};
    picture.Colour.resize(static_cast<size_t>(image.width) * image.height);
    const bool ok = png_image_finish_read(&image, nullptr, picture.Colour.data(), 0, nullptr);
    png_image_free(&image);
    return ok ? picture : Picture{};
}

TIconEntryInfo InfoFor(int size, int bitCount, size_t byteCount) {
    TIconEntryInfo info;
    info.Width = static_cast<uint8_t>(size);
    info.Height = static_cast<uint8_t>(size);
    info.ColorCount = bitCount < 8 ? static_cast<uint8_t>(1u << bitCount) : 0;
    info.Planes = 1;
    info.BitCount = static_cast<uint16_t>(bitCount);
    info.BytesInRes = static_cast<uint32_t>(byteCount);
    return info;
}

std::vector<uint8_t> MakeIco(const std::vector<IcoImage>& images, bool reverse) {
    const size_t n = images.size();
    std::vector<uint8_t> out(6 + 16 * n);
    TIconDir{0, 1, static_cast<uint16_t>(n)}.Write(std::span<uint8_t, 6>(out.data(), 6));
    std::vector<uint32_t> offsets(n);
    for (size_t k = 0; k < n; ++k) {
        const size_t i = reverse ? n - 1 - k : k;
        offsets[i] = static_cast<uint32_t>(out.size());
        out.insert(out.end(), images[i].Bytes.begin(), images[i].Bytes.end());
    }
    for (size_t i = 0; i < n; ++i)
        TIconDirEntry{images[i].Info, offsets[i]}.Write(std::span<uint8_t, 16>(&out[6 + 16 * i], 16));
    return out;
}

std::unique_ptr<TAdvancedIcon> IconOf(const std::vector<IcoImage>& images) {
    auto icon = std::make_unique<TAdvancedIcon>();
    const auto ico = MakeIco(images);
    TSpanStream stream(ico);
    if (!icon->LoadFromStream(stream)) throw std::runtime_error("IconOf: not an icon");
    return icon;
}

std::vector<uint8_t> GroupResource(const std::vector<IcoImage>& images, uint16_t firstId) {
    std::vector<uint8_t> group(TIconDir::Size + TGroupIconDirEntry::Size * images.size());
    TIconDir{0, 1, static_cast<uint16_t>(images.size())}.Write(
        std::span<uint8_t, TIconDir::Size>(group.data(), TIconDir::Size));
    for (size_t i = 0; i < images.size(); ++i)
        TGroupIconDirEntry{images[i].Info, static_cast<uint16_t>(firstId + i)}.Write(
            std::span<uint8_t, TGroupIconDirEntry::Size>(&group[TIconDir::Size + TGroupIconDirEntry::Size * i],
                                                         TGroupIconDirEntry::Size));
    return group;
}

std::vector<uint8_t> BuildNe(const std::vector<NeType>& types, const std::vector<std::string>& names,
                             const std::vector<std::vector<uint8_t>>& blobs, bool residentFirst) {
    size_t table = 2 + 2;
    for (const auto& t : types) table += 8 + 12 * t.Records.size();
    std::vector<uint8_t> strings;
    std::vector<uint16_t> offsets;
    for (const auto& n : names) {
        offsets.push_back(static_cast<uint16_t>(table + strings.size()));
        strings.push_back(static_cast<uint8_t>(n.size()));
        strings.insert(strings.end(), n.begin(), n.end());
    }
    strings.push_back(0);
    const std::vector<uint8_t> resident = {6, 'D', 'R', 'I', 'V', 'E', 'R', 0, 0, 0};
    const size_t dataStart = 192 + table + strings.size() + resident.size();
    uint16_t shift = 0;
    std::vector<size_t> at;
    for (;; ++shift) {
        at.clear();
        const size_t unit = size_t{1} << shift;
        size_t pos = dataStart;
        bool fits = true;
        for (const auto& b : blobs) {
            pos = (pos + unit - 1) / unit * unit;
            at.push_back(pos);
            fits = fits && (pos >> shift) <= 0xFFFF && ((b.size() + unit - 1) >> shift) <= 0xFFFF;
            pos += b.size();
        }
        if (fits) break;
    }
    auto id = [&](uint16_t v) { return (v & 0x8000) ? v : offsets.at(v); };

    std::vector<uint8_t> file(192, 0);
    file[0] = 'M';
    file[1] = 'Z';
    file[60] = 128;
    file[128] = 'N';
    file[129] = 'E';
    PutU16le(&file[128 + 0x24], static_cast<uint16_t>(residentFirst ? 0x40 + resident.size() : 0x40));
    PutU16le(&file[128 + 0x26], static_cast<uint16_t>(residentFirst ? 0x40 : 0x40 + table + strings.size()));
    if (residentFirst) file.insert(file.end(), resident.begin(), resident.end());
    auto put16 = [&](uint16_t v) {
        file.push_back(static_cast<uint8_t>(v));
        file.push_back(static_cast<uint8_t>(v >> 8));
    };
    put16(shift);
    for (const auto& t : types) {
        put16(id(t.Id));
        put16(static_cast<uint16_t>(t.Records.size()));
        put16(0);
        put16(0);
        for (const auto& r : t.Records) {
            put16(static_cast<uint16_t>(at[r.Blob] >> shift));
            put16(static_cast<uint16_t>((blobs[r.Blob].size() + (size_t{1} << shift) - 1) >> shift));
            put16(0x1C30);
            put16(id(r.Id));
            put16(0);
            put16(0);
        }
    }
    put16(0);
    file.insert(file.end(), strings.begin(), strings.end());
    if (!residentFirst) file.insert(file.end(), resident.begin(), resident.end());
    for (size_t i = 0; i < blobs.size(); ++i) {
        file.resize(at[i], 0);
        file.insert(file.end(), blobs[i].begin(), blobs[i].end());
    }
    file.resize(file.size() + (size_t{1} << shift), 0);
    return file;
}

}  // namespace pictavo::test
