// What every fuzz target checks of the icons it reads: pixels, labels, drawing, graphics.
#pragma once

#include "icons/AdvancedIcon.h"
#include "icons/IconRaster.h"
#include "icons/IconTools.h"
#include "library/Thumbnail.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <utility>

// Stops the run with a message when a property that must hold does not.
#define FUZZ_CHECK(cond)                                                                         \
    do {                                                                                         \
        if (!(cond)) {                                                                           \
            std::fprintf(stderr, "fuzz: check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            __builtin_trap();                                                                    \
        }                                                                                        \
    } while (0)

namespace pictavo::fuzz {

inline bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

inline bool SameRaster(const TIconRaster* a, const TIconRaster* b) {
    if (!a || !b) return a == b;
    return a->Width == b->Width && a->Height == b->Height && a->HasAlpha == b->HasAlpha && a->Colour == b->Colour &&
           a->Mask == b->Mask;
}

inline void CheckRaster(const TIconImage& image, const TIconRaster* raster) {
    if (!raster) return;
    FUZZ_CHECK(raster->Width > 0 && raster->Height > 0);
    FUZZ_CHECK(raster->Width <= kMaxIconDimension && raster->Height <= kMaxIconDimension);
    const size_t pixels = static_cast<size_t>(raster->Width) * static_cast<size_t>(raster->Height);
    FUZZ_CHECK(raster->Colour.size() == pixels);
    FUZZ_CHECK(raster->Mask.size() == pixels);
    // The pixels are made at the entry's width and height bytes unless those are 0, or the
    // image is wider than they can say (then at its own size).
    if (image.Width() > 255) return;
    if (image.Info().Width != 0) FUZZ_CHECK(raster->Width == image.Info().Width);
    if (image.Info().Height != 0) FUZZ_CHECK(raster->Height == image.Info().Height);
}

// Pictures as large as the decoder allows (4096 x 4096) are legal, and a PNG of that size fits
// in a few kilobytes, but decoding one takes seconds under the sanitizers: more than a smoke
// run's limit per input. Inputs whose images declare more pixels than this together (images
// over the same bytes counted once) are passed over before anything is decoded; the decoder's
// own limits are checked by the tests.
inline constexpr uint64_t kMaxFuzzPixels = 1024 * 1024;

// Adds up the pixels that image headers declare, as the decoder reads them.
class TPixelTally {
public:
    // The first bytes of an image (its header); `where` and `size` tell images apart.
    void Add(uint64_t where, uint64_t size, std::span<const uint8_t> head) {
        if (!FSeen.emplace(where, size).second) return;
        const auto header = ReadImageHeader(head);
        const auto own = header ? ImagePixelSize(*header) : std::nullopt;
        if (own) FPixels += static_cast<uint64_t>(own->Width) * static_cast<uint64_t>(own->Height);
    }
    void Add(const TIconImage& image) {
        const auto bytes = image.Data();
        Add(reinterpret_cast<uintptr_t>(bytes.data()), bytes.size(), bytes);
    }
    void Add(const TAdvancedIcon& icon) {
        for (int i = 0; i < icon.Images().Count(); ++i)
            if (const TIconImage* image = icon.Images().GetItem(i)) Add(*image);
    }
    bool TooMany() const { return FPixels > kMaxFuzzPixels; }

private:
    std::set<std::pair<uint64_t, uint64_t>> FSeen;
    uint64_t FPixels = 0;
};

// Everything the viewer does with a single image.
inline void ExerciseImage(const TIconImage& image) {
    const TIconRaster* handle = image.GetHandle();
    CheckRaster(image, handle);
    // The handle is made once and kept.
    FUZZ_CHECK(image.GetHandle() == handle);

    char expected[64];
    std::snprintf(expected, sizeof expected, "%d x %d - %dbit", image.Width(), image.Height(),
                  static_cast<int>(image.Depth()));
    FUZZ_CHECK(image.Label() == expected);
    FUZZ_CHECK(image.BitCount() == 0 || image.Depth() == image.BitCount());

    TRasterCanvas canvas(40, 40, 0xFF808080u);
    image.Draw(canvas, 0, 0);
    image.Draw(canvas, -7, 13);   // clipped on the left and at the bottom
    image.Draw(canvas, 39, -39);  // a single corner pixel at most
    FUZZ_CHECK(canvas.Pixels.size() == 40u * 40u);

    auto graphic = image.CreateGraphic();
    FUZZ_CHECK(graphic && graphic->Handle() == handle);
    const int gw = graphic->GetWidth(), gh = graphic->GetHeight();
    if (handle) FUZZ_CHECK(gw == handle->Width && gh == handle->Width);
    TRasterCanvas small(16, 16);
    graphic->Draw(small, TRect{-3, 2, 13, 18});
    FUZZ_CHECK(small.Pixels.size() == 16u * 16u);
}

// Two icons hold the same images: bytes, entries and sizes.
inline void CheckSameImages(const TAdvancedIcon& a, const TAdvancedIcon& b) {
    FUZZ_CHECK(a.Images().Count() == b.Images().Count());
    for (int i = 0; i < a.Images().Count(); ++i) {
        const TIconImage* x = a.Images().GetItem(i);
        const TIconImage* y = b.Images().GetItem(i);
        FUZZ_CHECK(x && y);
        FUZZ_CHECK(SameBytes(x->Data(), y->Data()));
        FUZZ_CHECK(x->Info() == y->Info());
        FUZZ_CHECK(x->Width() == y->Width() && x->Height() == y->Height());
    }
}

// The input written to this process's own file under /dev/shm (removed at exit), for the
// routines that take a file name; empty when it cannot be written.
inline std::string WriteInput(std::span<const uint8_t> input, const char* target, const char* extension) {
    static std::string path;
    if (path.empty()) {
        path = std::string("/dev/shm/") + target + "." + std::to_string(::getpid()) + extension;
        std::atexit([] { ::unlink(path.c_str()); });
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    const bool ok = std::fwrite(input.data(), 1, input.size(), f) == input.size();
    return std::fclose(f) == 0 && ok ? path : std::string();
}

// Whether the images of the file's first icon (those a thumbnail may decode) declare more
// pixels than a fuzz input may; false when they cannot be listed (the thumbnail then fails).
inline bool FirstIconDeclaresTooManyPixels(const TByteSource& file) {
    std::vector<TImageRange> images;
    try {
        images = FirstIconImages(file);
    } catch (const EPictavoError&) {
        return false;
    }
    TPixelTally tally;
    for (const TImageRange& range : images) {
        uint8_t head[64];
        const size_t n =
            file.ReadUpTo(range.Offset, head, static_cast<size_t>(std::min<uint64_t>(range.Size, sizeof head)));
        tally.Add(range.Offset, range.Size, std::span<const uint8_t>(head, n));
    }
    return tally.TooMany();
}

// A private folder of this process, `target`.XXXXXX on a memory file system where there is one
// (files there are written without waiting for a disk, and may be sparse), removed at exit.
inline std::string MakePrivateFolder(const char* target) {
    static std::string folder;
    const char* base = "/dev/shm";
    if (::access(base, W_OK | X_OK) != 0) {
        const char* tmp = std::getenv("TMPDIR");
        base = tmp && tmp[0] == '/' ? tmp : "/tmp";
    }
    std::string name = std::string(base) + "/" + target + ".XXXXXX";
    if (!::mkdtemp(name.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = name;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    return folder;
}

}  // namespace pictavo::fuzz
