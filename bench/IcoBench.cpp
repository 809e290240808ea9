// Micro-benchmarks of the core's icon path: reading an .ico file, decoding its images into
// rasters and writing the icon back out. The sample icon is built once, in memory and in a
// temporary file, with the builders the tests use:
//   16, 24, 32, 48, 64 and 128 px at 4, 8 and 32 bits (18 DIB images) and one 256-px PNG.

#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconRaster.h"
#include "support/IconFixtures.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace pictavo;
using namespace pictavo::test;

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128};
constexpr int kDepths[] = {4, 8, 32};

// A picture suited to a depth: palette depths get no more colours than they can index.
Picture PictureFor(int size, int bitCount) {
    if (bitCount <= 8) return MakePicture(size, size, 1 << bitCount);
    return MakePicture(size, size, 0, bitCount == 32);
}

struct Sample {
    TempDir Dir;
    std::string IcoPath;
    std::vector<uint8_t> IcoBytes;
    int ImageCount = 0;
    int64_t PixelCount = 0;  // pixels of all images together
    std::vector<uint8_t> Png256;
    std::vector<uint8_t> Dib48x32;

    Sample() {
        std::vector<IcoImage> images;
        for (int size : kSizes)
            for (int depth : kDepths) {
                auto bytes = MakeDib(PictureFor(size, depth), depth);
                if (size == 48 && depth == 32) Dib48x32 = bytes;
                images.push_back({InfoFor(size, depth, bytes.size()), std::move(bytes)});
                PixelCount += int64_t{size} * size;
            }
        Png256 = MakePng(MakePicture(256, 256, 0, true));
        images.push_back({InfoFor(256, 32, Png256.size()), Png256});
        PixelCount += 256 * 256;
        ImageCount = static_cast<int>(images.size());
        IcoBytes = MakeIco(images);
        IcoPath = Dir.File("sample.ico");
        WriteBytes(IcoPath, IcoBytes);
    }
};

const Sample& TheSample() {
    static const Sample sample;
    return sample;
}

// Rates shared by the whole-file benchmarks: file bytes, images and pixels per second.
void SetFileRates(benchmark::State& state, const Sample& s) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.IcoBytes.size()));
    state.SetItemsProcessed(state.iterations() * s.ImageCount);
    state.counters["file_bytes"] = static_cast<double>(s.IcoBytes.size());
}

// Opening, reading and parsing the file: its bytes read whole into one buffer that every image
// shares, the header and the directory. No pixel is decoded. This is all `pictavo-cli list` does per file.
void BM_IcoLoadFromFile(benchmark::State& state) {
    const Sample& s = TheSample();
    for (auto _ : state) {
        TAdvancedIcon icon;
        if (!icon.LoadFromFile(s.IcoPath) || icon.Images().Count() != s.ImageCount) {
            state.SkipWithError("the sample icon did not load");
            break;
        }
        benchmark::DoNotOptimize(icon.Images().GetItem(0));
    }
    SetFileRates(state, s);
}
BENCHMARK(BM_IcoLoadFromFile);

// The same parse from bytes already in memory: the difference to BM_IcoLoadFromFile is the
// cost of open/fstat/pread and of the buffer the file is read into.
void BM_IcoLoadFromStream(benchmark::State& state) {
    const Sample& s = TheSample();
    for (auto _ : state) {
        TAdvancedIcon icon;
        TSpanStream stream(s.IcoBytes);
        if (!icon.LoadFromStream(stream) || icon.Images().Count() != s.ImageCount) {
            state.SkipWithError("the sample icon did not load");
            break;
        }
        benchmark::DoNotOptimize(icon.Images().GetItem(0));
    }
    SetFileRates(state, s);
}
BENCHMARK(BM_IcoLoadFromStream);

// Loading the file and decoding every image (GetHandle), as a viewer showing all of them
// would. Dominated by the PNG image and the 128-px DIBs.
void BM_IcoLoadAndDecodeAll(benchmark::State& state) {
    const Sample& s = TheSample();
    for (auto _ : state) {
        TAdvancedIcon icon;
        icon.LoadFromFile(s.IcoPath);
        for (int i = 0; i < icon.Images().Count(); ++i) {
            const TIconRaster* raster = icon.Images().GetItem(i)->GetHandle();
            if (!raster) {
                state.SkipWithError("an image did not decode");
                return;
            }
            benchmark::DoNotOptimize(raster->Colour.data());
        }
    }
    SetFileRates(state, s);
    state.counters["pixels"] =
        benchmark::Counter(static_cast<double>(s.PixelCount), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_IcoLoadAndDecodeAll);

// Decoding image bytes into a raster at their own size, without the icon around them.
void DecodeBytes(benchmark::State& state, const std::vector<uint8_t>& bytes, int size) {
    for (auto _ : state) {
        auto raster = DecodeIconImage(bytes);
        if (!raster || raster->Width != size) {
            state.SkipWithError("the image did not decode");
            break;
        }
        benchmark::DoNotOptimize(raster->Colour.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.counters["pixels"] = benchmark::Counter(double(size) * size, benchmark::Counter::kIsIterationInvariantRate);
}

// One 256x256 PNG image with alpha (libpng's simplified reader, then the mask from alpha).
void BM_DecodePng256(benchmark::State& state) { DecodeBytes(state, TheSample().Png256, 256); }
BENCHMARK(BM_DecodePng256);

// One 48x48 32-bit DIB with its AND mask: the most common image of a desktop icon.
void BM_DecodeDib48x32(benchmark::State& state) { DecodeBytes(state, TheSample().Dib48x32, 48); }
BENCHMARK(BM_DecodeDib48x32);

// DIB decoding by size and depth (args: size, bits), to see how the per-pixel cost varies.
void BM_DecodeDib(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int depth = static_cast<int>(state.range(1));
    const auto bytes = MakeDib(PictureFor(size, depth), depth);
    DecodeBytes(state, bytes, size);
}
BENCHMARK(BM_DecodeDib)->ArgNames({"px", "bits"})->ArgsProduct({{16, 48, 128}, {4, 8, 32}});

// Decoding at a size other than the image's own (the entry's width byte says 32, the bytes
// hold 48): decode followed by the smooth resampling.
void BM_DecodeDibScaled48To32(benchmark::State& state) {
    const auto& bytes = TheSample().Dib48x32;
    for (auto _ : state) {
        auto raster = DecodeIconImage(bytes, 32, 32);
        if (!raster || raster->Width != 32) {
            state.SkipWithError("the image did not decode");
            break;
        }
        benchmark::DoNotOptimize(raster->Colour.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeDibScaled48To32);

// Writing the loaded icon in .ico layout into a memory stream (directory, offsets patched
// in place, then every image's bytes).
void BM_IcoSaveToStream(benchmark::State& state) {
    const Sample& s = TheSample();
    TAdvancedIcon icon;
    icon.LoadFromFile(s.IcoPath);
    uint64_t written = 0;
    for (auto _ : state) {
        TMemoryStream stream;
        icon.SaveToStream(stream);
        written = stream.Size();
        benchmark::DoNotOptimize(stream.Data().data());
    }
    if (written != s.IcoBytes.size()) state.SkipWithError("the saved icon differs in size");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(written));
    state.SetItemsProcessed(state.iterations() * s.ImageCount);
}
BENCHMARK(BM_IcoSaveToStream);

// A write-only stream whose buffer is allocated once, at the size the caller says the
// output will have, and never zero-filled: a reference point for BM_IcoSaveToStream.
class TPresizedStream : public TStream {
public:
    explicit TPresizedStream(size_t capacity) : FBuffer(new uint8_t[capacity]), FCapacity(capacity) {}
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void* buffer, size_t n) override {
        if (FPosition + n > FCapacity) throw std::length_error("presized stream too small");
        std::memcpy(FBuffer.get() + FPosition, buffer, n);
        FPosition += n;
        if (FPosition > FSize) FSize = FPosition;
    }
    uint64_t Size() const override { return FSize; }
    const uint8_t* Data() const { return FBuffer.get(); }

private:
    std::unique_ptr<uint8_t[]> FBuffer;
    size_t FCapacity = 0;
    uint64_t FSize = 0;
};

// The same writing into a buffer allocated once at the final size (header, directory and
// the sum of the images' lengths). The gap to BM_IcoSaveToStream is what growing
// TMemoryStream's buffer step by step costs (reallocations, zero-filling, page faults).
void BM_IcoSaveToStreamPresized(benchmark::State& state) {
    const Sample& s = TheSample();
    TAdvancedIcon icon;
    icon.LoadFromFile(s.IcoPath);
    uint64_t total = TIconDir::Size + uint64_t{TIconDirEntry::Size} * icon.Images().Count();
    for (int i = 0; i < icon.Images().Count(); ++i) total += icon.Images().GetItem(i)->Info().BytesInRes;
    uint64_t written = 0;
    for (auto _ : state) {
        TPresizedStream stream(total);
        icon.SaveToStream(stream);
        written = stream.Size();
        benchmark::DoNotOptimize(stream.Data());
    }
    if (written != s.IcoBytes.size()) state.SkipWithError("the saved icon differs in size");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(written));
    state.SetItemsProcessed(state.iterations() * s.ImageCount);
}
BENCHMARK(BM_IcoSaveToStreamPresized);

// Writing the icon as a file, as `pictavo-cli extract` does for each icon: SaveToStream,
// then a temporary file, write, fsync and rename. Measured in real time, since most of it
// is spent waiting for the disk.
void BM_IcoSaveToFile(benchmark::State& state) {
    const Sample& s = TheSample();
    TAdvancedIcon icon;
    icon.LoadFromFile(s.IcoPath);
    const std::string target = s.Dir.File("saved.ico");
    for (auto _ : state) icon.SaveToFile(target);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.IcoBytes.size()));
}
BENCHMARK(BM_IcoSaveToFile)->UseRealTime();

}  // namespace
