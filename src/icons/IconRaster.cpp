#include "icons/IconRaster.h"

#include "base/ByteReader.h"

#include <png.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

namespace pictavo {

namespace {

std::atomic<uint64_t> gDecodedRasters{0};

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

// One colour channel described by a bit mask, widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    uint32_t Extract(uint32_t px) const {
        if (!max) return 0;
        const uint32_t v = (px & mask) >> shift;
        if (max == 0xFF) return v;
        return static_cast<uint32_t>((static_cast<uint64_t>(v) * 255 + max / 2) / max);
    }
};

// PNG entries are decoded to the samples they store: palette and grey expanded, tRNS turned
// into alpha, 16-bit channels rounded to 8 bits, and nothing else (no gamma, colour-space or
// background transforms; icon viewers and the platform's own loader show the stored samples).
// The push reader is used because it stops inflating once the last row is in: a stream that
// goes on for gigabytes after the picture costs only the reading of its stored bytes.
struct PngDecode {
    TIconRaster* Raster = nullptr;
    int LastPass = 0;   // the last interlace pass that carries pixels
    bool Done = false;  // the last row of the last pass is in, so every row is
};

// Chunks whose contents are never needed: text and colour profiles are skipped unread
// (not inflated), whatever their size or number.
constexpr png_byte kIgnoredChunks[] = {'t', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0', 'i', 'T', 'X', 't', '\0',
                                       'i', 'C', 'C', 'P', '\0', 's', 'P', 'L', 'T', '\0', 'e', 'X', 'I', 'f', '\0'};
// Ancillary chunks kept at most, and the largest one allocated (a palette is 768 bytes).
constexpr png_uint_32 kPngChunkCacheMax = 64;
constexpr png_alloc_size_t kPngChunkMallocMax = 64 * 1024;

// Sizes a vector of zeros whose memory asks for huge pages first, when it is large: a 4096 x
// 4096 picture is otherwise brought in by 20,000 page faults, a fifth of its decoding time.
// Where the system gives no huge pages the request changes nothing.
template <class T>
void AssignZeros(std::vector<T>& v, size_t count) {
    constexpr size_t kHugeBytes = size_t{2} << 20;
    v.reserve(count);
    const size_t bytes = count * sizeof(T);
    if (bytes >= kHugeBytes) {
        static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto start = (reinterpret_cast<uintptr_t>(v.data()) + page - 1) / page * page;
        const auto end = reinterpret_cast<uintptr_t>(v.data()) + bytes;
        if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
    v.assign(count, T{});
}

void PngSilentWarning(png_structp, png_const_charp) {}
[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngInfo(png_structp png, png_infop info) {
    auto* st = static_cast<PngDecode*>(png_get_progressive_ptr(png));
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || width > kMaxIconDimension || height > kMaxIconDimension) png_error(png, "size");
    png_set_expand(png);    // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);  // (v * 255 + 32895) >> 16
    if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);  // bytes B, G, R, A = 0xAARRGGBB on a little-endian host
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) png_error(png, "layout");
    st->LastPass = 0;
    if (interlace != PNG_INTERLACE_NONE)
        for (int pass = 0; pass < 7; ++pass)
            if (PNG_PASS_COLS(width, pass) && PNG_PASS_ROWS(height, pass)) st->LastPass = pass;
    bool allocated = true;
    try {
        st->Raster->Width = static_cast<int>(width);
        st->Raster->Height = static_cast<int>(height);
        AssignZeros(st->Raster->Colour, size_t{width} * height);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) png_error(png, "memory");
}

void PngRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass) {
    auto* st = static_cast<PngDecode*>(png_get_progressive_ptr(png));
    TIconRaster& r = *st->Raster;
    if (rowNumber >= static_cast<png_uint_32>(r.Height)) return;
    if (row) {
        auto* out = reinterpret_cast<png_bytep>(r.Colour.data() + size_t{rowNumber} * r.Width);
        png_progressive_combine_row(png, out, row);
    }
    if (pass == st->LastPass && rowNumber + 1 == static_cast<png_uint_32>(r.Height)) st->Done = true;
}

// Runs the push reader over the bytes; false on any error. Nothing here has a destructor, so
// libpng's longjmp out of an error leaves nothing behind.
bool FeedPng(png_structp png, png_infop info, PngDecode& st, std::span<const uint8_t> bytes) {
    // Once every row is in, the picture is whole: a fault in what follows it (a damaged chunk
    // after the image data) does not take it away.
    if (setjmp(png_jmpbuf(png))) return st.Done;
    // No end callback: reaching IEND says nothing of the rows. A compressed stream may end
    // properly after a few rows (or passes), and the reader goes on to the end chunk without
    // complaint; only the last row of the last pass makes the picture whole.
    png_set_progressive_read_fn(png, &st, PngInfo, PngRow, nullptr);
    // All the bytes at once: the reader then works on them in place, never copying a chunk
    // into a buffer of its own while waiting for the rest of it.
    png_process_data(png, info, const_cast<png_bytep>(bytes.data()), bytes.size());
    return st.Done;
}

std::unique_ptr<TIconRaster> DecodePng(std::span<const uint8_t> bytes) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngSilentWarning);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    png_set_user_limits(png, kMaxIconDimension, kMaxIconDimension);
    png_set_chunk_cache_max(png, kPngChunkCacheMax);
    png_set_chunk_malloc_max(png, kPngChunkMallocMax);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                static_cast<int>(sizeof kIgnoredChunks / 5));
    // The compressed stream's Adler-32 is not computed (a pass over every byte of the picture,
    // a sixth of the decoding time at 4096 x 4096): the CRC of each IDAT chunk already covers
    // the same bytes, and the trailer is read with the last row, where a mismatch would
    // otherwise stop the reader just before that row.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    auto raster = std::make_unique<TIconRaster>();
    PngDecode st;
    st.Raster = raster.get();
    const bool ok = FeedPng(png, info, st, bytes);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok || raster->Colour.empty()) return nullptr;
    if constexpr (std::endian::native == std::endian::big) {
        for (auto& px : raster->Colour) px = __builtin_bswap32(px);
    }
    raster->HasAlpha = true;
    const size_t count = raster->Colour.size();
    AssignZeros(raster->Mask, count);
    // Through pointers that do not alias, so that the loop is vectorised.
    const uint32_t* __restrict colour = raster->Colour.data();
    uint8_t* __restrict mask = raster->Mask.data();
    for (size_t i = 0; i < count; ++i) mask[i] = (colour[i] >> 24) == 0;
    return raster;
}

// What decoding a bitmap needs beyond its header: the real size, the row order, the channel
// masks and where the colour table starts.
struct TDibLayout {
    int Width = 0, Height = 0;
    bool TopDown = false;
    uint32_t Bpp = 0;
    uint32_t PaletteEntry = 4;
    uint64_t AfterHeader = 0;
    uint32_t PaletteCount = 0;
    uint64_t SkippedTable = 0;  // bytes of a truecolour bitmap's colour table
    Channel Red, Green, Blue, Alpha;
};

std::optional<TDibLayout> ReadDibLayout(const ByteReader& rd) {
    const auto header = ReadImageHeader(rd.all());
    if (!header || header->Png || !header->Complete || (!header->Core && header->HeaderSize < 40)) return std::nullopt;
    const auto size = ImagePixelSize(*header);
    if (!size) return std::nullopt;
    TDibLayout d;
    d.Bpp = header->BitCount;
    d.AfterHeader = header->HeaderSize;
    d.Width = size->Width;
    d.Height = size->Height;
    // A negative height stores the rows top-down.
    d.TopDown =
        header->Core ? static_cast<int16_t>(header->RawHeight) < 0 : static_cast<int32_t>(header->RawHeight) < 0;
    if (header->Core) {  // 16-bit fields, 3-byte palette entries
        d.PaletteEntry = 3;
    } else {
        if (header->Compression == BI_BITFIELDS || header->Compression == BI_ALPHABITFIELDS) {
            if (d.Bpp != 16 && d.Bpp != 32) return std::nullopt;
            // The masks follow a 40-byte header (three, or four with the alpha mask), or sit
            // inside a longer one, where the fourth is the alpha mask.
            const bool withAlpha = header->Compression == BI_ALPHABITFIELDS || header->HeaderSize >= 56;
            const auto r = rd.u32le(40), g = rd.u32le(44), bl = rd.u32le(48);
            const auto a = withAlpha ? rd.u32le(52) : std::optional<uint32_t>(0);
            if (!r || !g || !bl || !a) return std::nullopt;
            d.Red = Channel(*r);
            d.Green = Channel(*g);
            d.Blue = Channel(*bl);
            d.Alpha = Channel(*a);
            if (header->HeaderSize == 40) d.AfterHeader += withAlpha ? 16 : 12;
        } else if (header->Compression != BI_RGB) {
            return std::nullopt;  // RLE and embedded JPEG/PNG bitmaps are not icon images
        } else if (d.Bpp == 16) {
            d.Red = Channel(0x7C00);
            d.Green = Channel(0x03E0);
            d.Blue = Channel(0x001F);
        } else if (d.Bpp == 32) {
            d.Red = Channel(0x00FF0000);
            d.Green = Channel(0x0000FF00);
            d.Blue = Channel(0x000000FF);
            d.Alpha = Channel(0xFF000000);
        }
    }
    if (d.Bpp != 1 && d.Bpp != 4 && d.Bpp != 8 && d.Bpp != 16 && d.Bpp != 24 && d.Bpp != 32) return std::nullopt;
    if (d.Bpp <= 8) {
        // Palette images hold ColorsUsed entries (all 2^bpp when 0).
        const uint32_t full = 1u << d.Bpp;
        d.PaletteCount = (header->ColorsUsed != 0 && header->ColorsUsed < full) ? header->ColorsUsed : full;
    } else if (!header->Core) {
        // A truecolour bitmap may still carry ColorsUsed table entries (a palette suggested for
        // display): they sit before the pixels and are skipped. A count the bytes cannot hold
        // fails the bounds check of the pixels that would follow it.
        d.SkippedTable = uint64_t{header->ColorsUsed} * d.PaletteEntry;
    }
    return d;
}

std::optional<std::vector<uint32_t>> ReadPalette(const ByteReader& rd, const TDibLayout& d) {
    const auto table = rd.bytes(d.AfterHeader, uint64_t{d.PaletteCount} * d.PaletteEntry);
    if (!table) return std::nullopt;
    std::vector<uint32_t> palette(d.PaletteCount);
    for (uint32_t i = 0; i < d.PaletteCount; ++i) {
        const uint8_t* e = table->data() + static_cast<size_t>(i) * d.PaletteEntry;
        palette[i] = 0xFF000000u | (uint32_t{e[2]} << 16) | (uint32_t{e[1]} << 8) | e[0];
    }
    return palette;
}

// One stored row of colour bits into ARGB pixels; true when a pixel had alpha (16- and 32-bit
// pixels with an alpha mask).
bool DecodeColourRow(const uint8_t* row, const TDibLayout& d, const std::vector<uint32_t>& palette, uint32_t* out) {
    bool anyAlpha = false;
    for (int x = 0; x < d.Width; ++x) {
        uint32_t px = 0;
        switch (d.Bpp) {
        case 1:
        case 4:
        case 8: {
            const uint32_t bit = static_cast<uint32_t>(x) * d.Bpp;
            const uint32_t index = (row[bit / 8] >> (8 - d.Bpp - bit % 8)) & ((1u << d.Bpp) - 1);
            px = index < d.PaletteCount ? palette[index] : 0xFF000000u;
            break;
        }
        case 16: {
            const uint32_t v = LoadU16le(std::span<const uint8_t, 2>(row + static_cast<size_t>(x) * 2, 2));
            const uint32_t a = d.Alpha.Extract(v);
            anyAlpha |= a != 0;
            px = (a << 24) | (d.Red.Extract(v) << 16) | (d.Green.Extract(v) << 8) | d.Blue.Extract(v);
            break;
        }
        case 24:
            px = 0xFF000000u | (uint32_t{row[x * 3 + 2]} << 16) | (uint32_t{row[x * 3 + 1]} << 8) | row[x * 3];
            break;
        case 32: {
            const uint32_t v = LoadU32le(std::span<const uint8_t, 4>(row + static_cast<size_t>(x) * 4, 4));
            const uint32_t a = d.Alpha.Extract(v);
            anyAlpha |= a != 0;
            px = (a << 24) | (d.Red.Extract(v) << 16) | (d.Green.Extract(v) << 8) | d.Blue.Extract(v);
            break;
        }
        }
        out[x] = px;
    }
    return anyAlpha;
}

std::unique_ptr<TIconRaster> DecodeDib(std::span<const uint8_t> bytes) {
    const ByteReader rd(bytes);
    const auto layout = ReadDibLayout(rd);
    if (!layout) return nullptr;
    const TDibLayout& d = *layout;
    const auto palette = ReadPalette(rd, d);
    if (!palette) return nullptr;

    const int w = d.Width, h = d.Height;
    const uint64_t xorStride = ((static_cast<uint64_t>(w) * d.Bpp + 31) / 32) * 4;
    const uint64_t andStride = ((static_cast<uint64_t>(w) + 31) / 32) * 4;
    const uint64_t xorOffset = d.AfterHeader + uint64_t{d.PaletteCount} * d.PaletteEntry + d.SkippedTable;
    // The colour bitmap must be there whole.
    const auto xorBits = rd.bytes(xorOffset, xorStride * h);
    if (!xorBits) return nullptr;
    // The mask is read as far as it goes, rows padded to 32 bits as the colour rows are; bits
    // the bytes do not reach (a mask cut short or left out) are opaque, as the platform's own
    // loader draws them.
    const uint64_t andOffset = xorOffset + xorStride * h;
    const std::span<const uint8_t> andBits =
        bytes.size() > andOffset
            ? bytes.subspan(static_cast<size_t>(andOffset),
                            static_cast<size_t>(std::min<uint64_t>(bytes.size() - andOffset, andStride * h)))
            : std::span<const uint8_t>();

    auto raster = std::make_unique<TIconRaster>();
    raster->Width = w;
    raster->Height = h;
    raster->Colour.resize(static_cast<size_t>(w) * h);
    raster->Mask.assign(static_cast<size_t>(w) * h, 0);
    bool anyAlpha = false;
    for (int y = 0; y < h; ++y) {
        const int srcRow = d.TopDown ? y : h - 1 - y;
        anyAlpha |= DecodeColourRow(xorBits->data() + static_cast<size_t>(srcRow) * xorStride, d, *palette,
                                    raster->Colour.data() + static_cast<size_t>(y) * w);
        const uint64_t rowStart = static_cast<uint64_t>(srcRow) * andStride;
        if (rowStart >= andBits.size()) continue;
        const uint8_t* mrow = andBits.data() + rowStart;
        const uint64_t rowBytes = std::min<uint64_t>(andStride, andBits.size() - rowStart);
        uint8_t* mout = raster->Mask.data() + static_cast<size_t>(y) * w;
        const int bitsThere = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(w), rowBytes * 8));
        for (int x = 0; x < bitsThere; ++x) mout[x] = (mrow[x / 8] >> (7 - x % 8)) & 1;
    }

    if (anyAlpha) {
        // Alpha draws the picture; without a whole mask it stands in for the missing bits.
        raster->HasAlpha = true;
        if (andBits.size() < andStride * h)
            for (size_t i = 0; i < raster->Colour.size(); ++i) raster->Mask[i] = (raster->Colour[i] >> 24) == 0;
    } else {
        for (size_t i = 0; i < raster->Colour.size(); ++i) {
            const uint32_t rgb = raster->Colour[i] & 0x00FFFFFFu;
            raster->Colour[i] = rgb | (raster->Mask[i] ? 0u : 0xFF000000u);
        }
    }
    return raster;
}

// Tent-filter weights for one output coordinate; the filter widens when shrinking so
// every source pixel contributes (an area average), and is bilinear when enlarging.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;
    int maxTaps = 0;
};

Taps MakeTaps(int srcSize, int dstSize) {
    Taps t;
    const double scale = static_cast<double>(srcSize) / dstSize;
    const double support = std::max(1.0, scale);
    t.maxTaps = static_cast<int>(std::ceil(support)) * 2 + 1;
    t.first.resize(dstSize);
    t.count.resize(dstSize);
    t.weights.assign(static_cast<size_t>(dstSize) * t.maxTaps, 0.0f);
    for (int i = 0; i < dstSize; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        int lo = static_cast<int>(std::floor(centre - support)) + 1;
        int hi = static_cast<int>(std::ceil(centre + support)) - 1;
        lo = std::max(lo, 0);
        hi = std::min(hi, srcSize - 1);
        if (hi - lo + 1 > t.maxTaps) hi = lo + t.maxTaps - 1;
        double sum = 0;
        float* w = &t.weights[static_cast<size_t>(i) * t.maxTaps];
        for (int s = lo; s <= hi; ++s) {
            const double d = std::abs(s - centre) / support;
            const double v = d < 1.0 ? 1.0 - d : 0.0;
            w[s - lo] = static_cast<float>(v);
            sum += v;
        }
        if (sum <= 0) {  // a degenerate window: take the nearest pixel
            lo = std::clamp(static_cast<int>(std::lround(centre)), 0, srcSize - 1);
            hi = lo;
            w[0] = 1.0f;
            sum = 1.0;
        }
        for (int s = lo; s <= hi; ++s) w[s - lo] = static_cast<float>(w[s - lo] / sum);
        t.first[i] = lo;
        t.count[i] = hi - lo + 1;
    }
    return t;
}

}  // namespace

bool IsPngData(std::span<const uint8_t> bytes) {
    return bytes.size() >= sizeof kPngSignature && std::memcmp(bytes.data(), kPngSignature, 8) == 0;
}

std::optional<TImageHeader> ReadImageHeader(std::span<const uint8_t> bytes) {
    const ByteReader rd(bytes);
    TImageHeader h;
    if (IsPngData(bytes)) {
        // The IHDR chunk follows the signature: big-endian width and height, then the bit
        // depth and the colour type, which says how many channels each pixel has.
        const auto tag = rd.u32be(12), w = rd.u32be(16), ht = rd.u32be(20);
        if (tag != 0x49484452u || !w || !ht) return std::nullopt;
        h.Png = true;
        h.RawWidth = *w;
        h.RawHeight = *ht;
        const auto depth = rd.u8(24), colourType = rd.u8(25);
        if (depth && colourType) {
            static constexpr uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
            const uint8_t channels = *colourType < 7 ? kChannels[*colourType] : 0;
            h.BitCount = static_cast<uint16_t>(*depth * channels);
            h.Complete = channels != 0;
        }
        return h;
    }
    const auto size = rd.u32le(0);
    if (!size) return std::nullopt;
    h.HeaderSize = *size;
    if (*size == 12) {
        const auto w = rd.u16le(4), ht = rd.u16le(6), b = rd.u16le(10);
        if (!w || !ht) return std::nullopt;
        h.Core = true;
        h.RawWidth = *w;
        h.RawHeight = *ht;
        h.BitCount = b.value_or(0);
        h.Complete = b.has_value();
        return h;
    }
    const auto w = rd.u32le(4), ht = rd.u32le(8);
    if (!w || !ht) return std::nullopt;
    h.RawWidth = *w;
    h.RawHeight = *ht;
    const auto b = rd.u16le(14);
    const auto c = rd.u32le(16), used = rd.u32le(32);
    h.Complete = b && c && used;
    h.BitCount = b.value_or(0);
    h.Compression = c.value_or(0);
    h.ColorsUsed = used.value_or(0);
    return h;
}

std::optional<TPixelSize> ImagePixelSize(const TImageHeader& header) {
    int64_t width, height;
    if (header.Png) {
        width = header.RawWidth;
        height = header.RawHeight;
    } else {
        // The bitmap's height covers the colour bitmap and the mask: the icon is half of it.
        // The old header's fields are 16 bits wide, its width unsigned; a newer header's signed.
        width = header.Core ? int64_t{header.RawWidth} : int64_t{static_cast<int32_t>(header.RawWidth)};
        const int64_t raw = header.Core ? int64_t{static_cast<int16_t>(header.RawHeight)}
                                        : int64_t{static_cast<int32_t>(header.RawHeight)};
        height = (raw < 0 ? -raw : raw) / 2;
    }
    if (width <= 0 || height <= 0 || width > kMaxIconDimension || height > kMaxIconDimension) return std::nullopt;
    return TPixelSize{static_cast<int>(width), static_cast<int>(height)};
}

std::unique_ptr<TIconRaster> ScaleRaster(const TIconRaster& source, int width, int height) {
    if (width <= 0 || height <= 0 || source.Width <= 0 || source.Height <= 0) return nullptr;
    if (width > kMaxIconDimension || height > kMaxIconDimension) return nullptr;
    const int sw = source.Width, sh = source.Height;
    // Channels: premultiplied A, R, G, B (alpha images) or A, R, G, B as stored, and the mask.
    constexpr int kChannels = 5;
    auto unpack = [&](size_t i, float* o) {
        const uint32_t px = source.Colour[i];
        const float a = static_cast<float>(px >> 24);
        const float k = source.HasAlpha ? a / 255.0f : 1.0f;
        o[0] = a;
        o[1] = static_cast<float>((px >> 16) & 0xFF) * k;
        o[2] = static_cast<float>((px >> 8) & 0xFF) * k;
        o[3] = static_cast<float>(px & 0xFF) * k;
        o[4] = source.Mask[i] ? 1.0f : 0.0f;
    };
    const Taps tx = MakeTaps(sw, width), ty = MakeTaps(sh, height);
    // Horizontal pass one source row at a time (each pixel unpacked once), so only the narrow
    // intermediate is held.
    std::vector<float> mid(static_cast<size_t>(width) * sh * kChannels, 0.0f);
    std::vector<float> row(static_cast<size_t>(sw) * kChannels);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) unpack(static_cast<size_t>(y) * sw + x, &row[static_cast<size_t>(x) * kChannels]);
        for (int x = 0; x < width; ++x) {
            float* o = &mid[(static_cast<size_t>(y) * width + x) * kChannels];
            const float* w = &tx.weights[static_cast<size_t>(x) * tx.maxTaps];
            for (int k = 0; k < tx.count[x]; ++k) {
                const float* s = &row[static_cast<size_t>(tx.first[x] + k) * kChannels];
                for (int c = 0; c < kChannels; ++c) o[c] += s[c] * w[k];
            }
        }
    }
    auto out = std::make_unique<TIconRaster>();
    out->Width = width;
    out->Height = height;
    out->HasAlpha = source.HasAlpha;
    out->Colour.resize(static_cast<size_t>(width) * height);
    out->Mask.resize(out->Colour.size());
    for (int y = 0; y < height; ++y) {
        const float* w = &ty.weights[static_cast<size_t>(y) * ty.maxTaps];
        for (int x = 0; x < width; ++x) {
            float acc[kChannels] = {};
            for (int k = 0; k < ty.count[y]; ++k) {
                const float* s = &mid[(static_cast<size_t>(ty.first[y] + k) * width + x) * kChannels];
                for (int c = 0; c < kChannels; ++c) acc[c] += s[c] * w[k];
            }
            const float a = std::clamp(acc[0], 0.0f, 255.0f);
            const float k = source.HasAlpha ? (a > 0.0f ? 255.0f / a : 0.0f) : 1.0f;
            auto chan = [&](float v) { return static_cast<uint32_t>(std::clamp(v * k + 0.5f, 0.0f, 255.0f)); };
            const size_t i = static_cast<size_t>(y) * width + x;
            const bool masked = acc[4] >= 0.5f;
            out->Mask[i] = masked;
            const uint32_t alphaOut = source.HasAlpha ? static_cast<uint32_t>(a + 0.5f) : (masked ? 0u : 255u);
            out->Colour[i] = (alphaOut << 24) | (chan(acc[1]) << 16) | (chan(acc[2]) << 8) | chan(acc[3]);
        }
    }
    return out;
}

std::unique_ptr<TIconRaster> DecodeIconImage(std::span<const uint8_t> bytes, int desiredWidth, int desiredHeight) {
    gDecodedRasters.fetch_add(1, std::memory_order_relaxed);
    auto raster = IsPngData(bytes) ? DecodePng(bytes) : DecodeDib(bytes);
    if (!raster) return nullptr;
    const int w = desiredWidth > 0 ? desiredWidth : raster->Width;
    const int h = desiredHeight > 0 ? desiredHeight : raster->Height;
    if (w == raster->Width && h == raster->Height) return raster;
    return ScaleRaster(*raster, w, h);
}

uint64_t DecodedRasterCount() { return gDecodedRasters.load(std::memory_order_relaxed); }

void DrawIconRaster(TRasterCanvas& canvas, int x, int y, const TIconRaster* raster, int width, int height) {
    if (!raster || raster->Width <= 0 || raster->Height <= 0) return;
    std::unique_ptr<TIconRaster> scaled;
    const TIconRaster* r = raster;
    const int w = width > 0 ? width : raster->Width;
    const int h = height > 0 ? height : raster->Height;
    if (w != raster->Width || h != raster->Height) {
        scaled = ScaleRaster(*raster, w, h);
        if (!scaled) return;
        r = scaled.get();
    }
    // Only the part of the raster that lies on the canvas is visited (positions far off the
    // canvas are worked out in 64 bits, so they never overflow).
    const auto firstI = static_cast<int>(std::clamp<int64_t>(-int64_t{x}, 0, r->Width));
    const auto lastI = static_cast<int>(std::clamp<int64_t>(int64_t{canvas.Width} - x, 0, r->Width));
    const auto firstJ = static_cast<int>(std::clamp<int64_t>(-int64_t{y}, 0, r->Height));
    const auto lastJ = static_cast<int>(std::clamp<int64_t>(int64_t{canvas.Height} - y, 0, r->Height));
    for (int j = firstJ; j < lastJ; ++j) {
        const int cy = y + j;
        for (int i = firstI; i < lastI; ++i) {
            const int cx = x + i;
            uint32_t& dst = canvas.Pixels[static_cast<size_t>(cy) * canvas.Width + cx];
            const uint32_t src = r->Pixel(i, j);
            if (r->HasAlpha) {
                const uint32_t a = src >> 24;
                auto blend = [&](int shift) {
                    const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
                    return ((s * a + d * (255 - a) + 127) / 255) << shift;
                };
                dst = (dst & 0xFF000000u) | blend(16) | blend(8) | blend(0);
            } else {
                // Background AND mask, then XOR the colour: transparent where the mask is set
                // and the colour black, inverted where the mask is set and the colour is not.
                const uint32_t keep = r->MaskBit(i, j) ? (dst & 0x00FFFFFFu) : 0u;
                dst = (dst & 0xFF000000u) | (keep ^ (src & 0x00FFFFFFu));
            }
        }
    }
}

}  // namespace pictavo
