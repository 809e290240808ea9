// Micro-benchmarks of the icon libraries: reading every group icon of a DLL the size of a
// system one, and writing and reading back an .icl library of 1,000 icons.
//
// The DLL is built once in memory with the PE builder of the tests: 184 group icons (two
// with text names, the rest numbered) of 10 images each, as a system shell DLL has them:
// a 256-px PNG and 48, 32 and 16 px at 4, 8 and 32 bits (38 KB per icon, 7.2 MB in all).
// When wine's shell32.dll is installed it is measured as well (PICTAVO_BENCH_DLL names
// another file). A second DLL holds no icon at all, only a version-sized resource, as most
// system DLLs do.
//
// The library holds 1,000 icons of those 10 images (10,000 images, 38 MB of image bytes,
// a 45-MB .icl file), named "图标 0001" and so on so that the names go through GB18030
// both ways.

#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Reader16.h"
#include "library/Writer16.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace pictavo;
using namespace pictavo::test;

constexpr int kDllGroups = 184;
constexpr int kLibraryIcons = 1000;

// The images of one icon as a system DLL stores them: a 256-px PNG first, then 48, 32 and
// 16 px, each at 32, 8 and 4 bits. The PNG is drawn in few colours so that it compresses
// like a real one (13 KB; the gradient picture of the other benchmarks gives 77 KB).
std::vector<IcoImage> DesktopImages() {
    std::vector<IcoImage> images;
    auto png = MakePng(MakePicture(256, 256, 4, true));
    images.push_back({InfoFor(256, 32, png.size()), std::move(png)});
    for (int size : {48, 32, 16})
        for (int depth : {32, 8, 4}) {
            const Picture picture = depth <= 8 ? MakePicture(size, size, 1 << depth) : MakePicture(size, size, 0, true);
            auto bytes = MakeDib(picture, depth);
            images.push_back({InfoFor(size, depth, bytes.size()), std::move(bytes)});
        }
    return images;
}

struct Samples {
    TempDir Dir;
    std::vector<IcoImage> Images;
    int64_t IconBytes = 0;  // image bytes of one icon

    std::string DllPath;
    uint64_t DllSize = 0;
    std::string PlainDllPath;  // a DLL without icons

    std::vector<uint8_t> IcoBytes;  // one icon of Images as an .ico file
    TIconLibrary Library;           // kLibraryIcons icons read from IcoBytes
    std::string IclPath;
    std::vector<uint8_t> IclBytes;

    Samples() : Images(DesktopImages()) {
        for (const auto& image : Images) IconBytes += static_cast<int64_t>(image.Bytes.size());

        // The DLL: every group gets icon resources of its own, numbered from 1.
        std::vector<PeResource> resources;
        uint16_t nextIcon = 1;
        for (int g = 0; g < kDllGroups; ++g) {
            PeResource group;
            group.Type = RT_GROUP_ICON;
            if (g < 2) {
                group.NameIsId = false;
                group.Text = g == 0 ? u"IDI_SHELL_OPTIONS" : u"IDI_SHELL_RENAME_FOLDER";
            } else {
                group.Id = static_cast<uint16_t>(g - 1);
            }
            group.Language = 0;
            group.Data = GroupResource(Images, nextIcon);
            for (const auto& image : Images) {
                PeResource icon;
                icon.Type = RT_ICON;
                icon.Id = nextIcon++;
                icon.Language = 0;
                icon.Data = image.Bytes;
                resources.push_back(std::move(icon));
            }
            resources.push_back(std::move(group));
        }
        const PeImage pe = BuildPe(resources, /*pe64=*/true);
        DllPath = Dir.File("shell.dll");
        DllSize = pe.Bytes.size();
        WriteBytes(DllPath, pe.Bytes);

        PeResource version;
        version.Type = 16;
        version.Id = 1;
        version.Data.assign(1024, 0x20);
        PlainDllPath = Dir.File("plain.dll");
        WriteBytes(PlainDllPath, BuildPe({version}, /*pe64=*/true).Bytes);

        // The library, and its .icl file as the writer makes it.
        IcoBytes = MakeIco(Images);
        for (int i = 0; i < kLibraryIcons; ++i) {
            auto icon = std::make_unique<TAdvancedIcon>();
            TSpanStream stream(IcoBytes);
            icon->LoadFromStream(stream);
            Library.Icons().AddIcon(Format("图标 %04d", i + 1), std::move(icon));
        }
        IclBytes = T16BitWriter(Library).Build();
        IclPath = Dir.File("library.icl");
        WriteBytes(IclPath, IclBytes);
    }
};

const Samples& TheSamples() {
    static const Samples samples;
    return samples;
}

// Reading every group icon of a DLL through the library, as `pictavo-cli list` and the
// window do: signature test, headers, resource directory, then the images' bytes, read in
// chunks that the images share.
void LoadDll(benchmark::State& state, const std::string& path, int groups) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        state.SkipWithError(("no file " + path).c_str());
        return;
    }
    int64_t images = 0;
    for (auto _ : state) {
        TIconLibrary library;
        library.LoadFromFile(path);
        if (library.Icons().Count() == 0 || (groups > 0 && library.Icons().Count() != groups)) {
            state.SkipWithError("the DLL's icons did not load");
            return;
        }
        images = 0;
        for (int i = 0; i < library.Icons().Count(); ++i) images += library.Icons().Icon(i)->Images().Count();
        benchmark::DoNotOptimize(library.Icons().Icon(0));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(st.st_size));
    state.SetItemsProcessed(state.iterations() * images);
    state.counters["file_bytes"] = static_cast<double>(st.st_size);
    state.counters["images"] = static_cast<double>(images);
}

// The built DLL: 184 groups, 1,840 images. Rates: file bytes/s, images/s.
void BM_DllLoadFromFile(benchmark::State& state) {
    const Samples& s = TheSamples();
    LoadDll(state, s.DllPath, kDllGroups);
}
BENCHMARK(BM_DllLoadFromFile)->Unit(benchmark::kMillisecond);

// Wine's shell32.dll, when installed (about 15 MB, mostly code; 184 groups). Skipped
// otherwise.
void BM_WineShell32LoadFromFile(benchmark::State& state) {
    const char* env = std::getenv("PICTAVO_BENCH_DLL");
    const std::string path = env && *env ? env : "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll";
    LoadDll(state, path, 0);
}
BENCHMARK(BM_WineShell32LoadFromFile)->Unit(benchmark::kMillisecond);

// What `pictavo-cli count` does per file: the signature test and the resource directory of
// the group icons, no image. The whole DLL is in the page cache, so this is the cost above
// opening the file.
void BM_DllCountIcons(benchmark::State& state) {
    const Samples& s = TheSamples();
    for (auto _ : state) {
        const int n = CountIcons(s.DllPath);
        if (n != kDllGroups) {
            state.SkipWithError("the DLL's groups were not counted");
            return;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());  // files/s
}
BENCHMARK(BM_DllCountIcons);

// The same on a DLL without group icons, the common case when counting a system folder.
void BM_DllCountIconsNone(benchmark::State& state) {
    const Samples& s = TheSamples();
    for (auto _ : state) {
        const int n = CountIcons(s.PlainDllPath);
        if (n != 0) {
            state.SkipWithError("icons counted in a DLL without any");
            return;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());  // files/s
}
BENCHMARK(BM_DllCountIconsNone);

// The floor of the two above: open the DLL, read its first 4 KB, close it.
void BM_DllReadHead(benchmark::State& state) {
    const Samples& s = TheSamples();
    static char buffer[4096];
    for (auto _ : state) {
        const int fd = ::open(s.DllPath.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        if (n != static_cast<ssize_t>(sizeof buffer)) {
            state.SkipWithError("the DLL could not be read");
            return;
        }
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());  // files/s
}
BENCHMARK(BM_DllReadHead);

// Sets the rates of the library benchmarks: .icl bytes/s and icons/s.
void SetIclRates(benchmark::State& state, const Samples& s) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.IclBytes.size()));
    state.SetItemsProcessed(state.iterations() * kLibraryIcons);
    state.counters["icl_bytes"] = static_cast<double>(s.IclBytes.size());
}

// Building the .icl file of 1,000 icons in memory: headers, resource table, names, then
// every group and image padded to the alignment.
void BM_IclBuild(benchmark::State& state) {
    const Samples& s = TheSamples();
    size_t size = 0;
    for (auto _ : state) {
        T16BitWriter writer(s.Library);
        size = writer.Build().size();
        benchmark::DoNotOptimize(size);
    }
    if (size != s.IclBytes.size()) state.SkipWithError("the library was built at another size");
    SetIclRates(state, s);
}
BENCHMARK(BM_IclBuild)->Unit(benchmark::kMillisecond);

// Saving the library with TIconLibrary::SaveToFile: the build above, then a temporary file
// and a rename. With replace:0 the target is removed before each save (outside the timing),
// so the save makes a new file; with replace:1 it replaces the file of the previous save,
// which adds an fsync. Real time: much of it is the file system's.
void BM_IclSaveToFile(benchmark::State& state) {
    const Samples& s = TheSamples();
    const bool replace = state.range(0) != 0;
    const std::string target = s.Dir.File("saved.icl");
    s.Library.SaveToFile(target);
    for (auto _ : state) {
        if (!replace) {
            state.PauseTiming();
            ::unlink(target.c_str());
            state.ResumeTiming();
        }
        s.Library.SaveToFile(target);
    }
    SetIclRates(state, s);
}
BENCHMARK(BM_IclSaveToFile)->ArgName("replace")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reading the .icl file back through TIconLibrary::LoadFromFile: signature test, the count
// of the groups, then the reader (resource table, names, a copy of every image's bytes).
void BM_IclLoadFromFile(benchmark::State& state) {
    const Samples& s = TheSamples();
    for (auto _ : state) {
        TIconLibrary library;
        library.LoadFromFile(s.IclPath);
        if (library.Icons().Count() != kLibraryIcons) {
            state.SkipWithError("the library did not load");
            return;
        }
        benchmark::DoNotOptimize(library.Icons().Icon(0));
    }
    SetIclRates(state, s);
}
BENCHMARK(BM_IclLoadFromFile)->Unit(benchmark::kMillisecond);

// The reader alone over the bytes already in memory: no file.
void BM_IclReadFromMemory(benchmark::State& state) {
    const Samples& s = TheSamples();
    for (auto _ : state) {
        T16BitReader reader("library.icl", s.IclBytes);
        if (!reader.ReadIcons() || reader.Icons().Count() != kLibraryIcons) {
            state.SkipWithError("the library did not read");
            return;
        }
        benchmark::DoNotOptimize(reader.Icons().Icon(0));
    }
    SetIclRates(state, s);
}
BENCHMARK(BM_IclReadFromMemory)->Unit(benchmark::kMillisecond);

}  // namespace
