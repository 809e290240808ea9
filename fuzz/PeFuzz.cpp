// libFuzzer target for PE executables and DLLs: read arbitrary bytes as a 32- or 64-bit module
// the way the window and pictavo-cli do, then put every icon found through what the viewer
// does with it (decode, label, draw) and save it as an .ico and load that again.
// Besides the sanitizers it checks a few invariants and traps when one breaks:
//   - the resource directory lists as many group names as it counts (unless the names add up
//     to more than the input, which it reports), and every resource it hands out is the bytes
//     of the input where it says the resource lies;
//   - the reader opens exactly the bytes the directory reader opens, and names its icons
//     after the group names, in order;
//   - a decoded raster has Width x Height colour and mask entries and the entry's size;
//   - saving an icon and loading the result gives back the same images, byte for byte,
//     and saving that again gives the same file;
//   - the file routines (IsExecutableFile, CountModuleIcons, CountIcons) agree with what
//     the bytes hold;
//   - reading the file gives what reading the bytes in memory gives: TFileSource the same
//     bytes, the directory reader over it the same names, T32BitReader on the file name (read
//     in pages) the same icons and images.
//
// Reading the icons may raise (a group naming a missing image raises EResNotFound, a group
// cut short EReadError); the icons read before the error are still exercised. Exceptions
// anywhere else are bugs and are left to escape, which libFuzzer reports as a crash.
//
// The file routines and the file reader take a file name, so the input is also written to a
// file under /dev/shm (one per process, removed at exit).

#include "FuzzCommon.h"
#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "icons/IconTools.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/PEResources.h"
#include "library/Reader16.h"
#include "library/Reader32.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

// Saves an icon read from the module as an .ico and loads it again.
void SaveAndReload(const TAdvancedIcon& icon) {
    TMemoryStream saved;
    icon.SaveToStream(saved);
    if (icon.Images().Count() == 0) {
        FUZZ_CHECK(saved.Size() == 0);
        return;
    }
    // Read back the way a file is read: the images share the bytes, so entries that point at
    // one image's bytes are written once again.
    TSpanStream reread(std::make_shared<const TByteBuffer>(std::span<const uint8_t>(saved.Data())));
    TAdvancedIcon reloaded;
    FUZZ_CHECK(reloaded.LoadFromStream(reread));
    CheckSameImages(icon, reloaded);
    for (int i = 0; i < reloaded.Images().Count(); ++i) ExerciseImage(*reloaded.Images().GetItem(i));
    TMemoryStream savedAgain;
    reloaded.SaveToStream(savedAgain);
    FUZZ_CHECK(savedAgain.Data() == saved.Data());
}

// The name a group gets in the icon list: its display name, or "图标 N" when that is empty.
std::string ListName(const TResourceName& name, int index) {
    std::string s = name.Display();
    return s.empty() ? Format("图标 %d", index + 1) : s;
}

// The names under a type; nothing when they add up to more characters than the input has bytes.
std::optional<std::vector<TResourceName>> ListNames(const TPEResourceReader& resources, uint16_t type) {
    try {
        return resources.Names(type);
    } catch (const EReadError&) {
        return std::nullopt;
    }
}

// A resource found is the bytes of the input where the directory says it lies.
void CheckFound(const TPEResourceReader& resources, uint16_t type, const TResourceName& name,
                std::span<const uint8_t> input) {
    const auto range = resources.Locate(type, name);
    const auto bytes = resources.FindResource(type, name);
    FUZZ_CHECK(range.has_value() == bytes.has_value());
    if (!range) return;
    FUZZ_CHECK(range->Offset <= input.size() && range->Size <= input.size() - range->Offset);
    FUZZ_CHECK(SameBytes(bytes->Bytes(), input.subspan(range->Offset, range->Size)));
}

// The resource directory on its own: names, counts, look-ups.
void ExerciseDirectory(const TPEResourceReader& resources, std::span<const uint8_t> input,
                       const std::vector<TResourceName>& groups) {
    FUZZ_CHECK(resources.CountNames(RT_GROUP_ICON) == groups.size());
    for (const TResourceName& name : groups) CheckFound(resources, RT_GROUP_ICON, name, input);
    const auto icons = ListNames(resources, RT_ICON);
    if (icons) {
        FUZZ_CHECK(resources.CountNames(RT_ICON) == icons->size());
        // A few dozen look-ups are enough.
        for (size_t i = 0; i < icons->size() && i < 64; ++i) CheckFound(resources, RT_ICON, (*icons)[i], input);
    }
    CheckFound(resources, RT_GROUP_ICON, TResourceName::FromText("no such group"), input);
}

bool SameNames(const std::optional<std::vector<TResourceName>>& a, const std::optional<std::vector<TResourceName>>& b) {
    if (!a || !b) return !a && !b;
    if (a->size() != b->size()) return false;
    for (size_t i = 0; i < a->size(); ++i)
        if ((*a)[i].IsId != (*b)[i].IsId || (*a)[i].Id != (*b)[i].Id || (*a)[i].Text != (*b)[i].Text) return false;
    return true;
}

// TFileSource over the file against the bytes: a few reads around the page edges and the end,
// then the directory reader over it.
void CheckFileSource(const std::string& path, std::span<const uint8_t> input, const TPEResourceReader& resources,
                     bool opened) {
    const TFileSource source(path);
    FUZZ_CHECK(source.Valid());
    FUZZ_CHECK(source.Size() == input.size());
    const uint64_t size = input.size();
    const uint64_t offsets[] = {0,
                                1,
                                60,
                                TFileSource::kPageSize - 3,
                                TFileSource::kPageSize,
                                2 * TFileSource::kPageSize - 1,
                                size / 2,
                                size > 5 ? size - 5 : 0,
                                size};
    uint8_t buffer[16];
    for (const uint64_t at : offsets) {
        for (const size_t n : {size_t{1}, size_t{2}, size_t{4}, sizeof buffer}) {
            const bool inside = at + n <= size;
            FUZZ_CHECK(source.Read(at, buffer, n) == inside);
            if (inside) FUZZ_CHECK(std::equal(buffer, buffer + n, input.begin() + static_cast<ptrdiff_t>(at)));
        }
    }
    if (size > 0) {
        std::vector<uint8_t> whole(input.size());
        FUZZ_CHECK(source.Read(0, whole.data(), whole.size()));
        FUZZ_CHECK(SameBytes(whole, input));
    }

    TPEResourceReader fromFile;
    FUZZ_CHECK(fromFile.Open(source) == opened);
    if (!opened) return;
    FUZZ_CHECK(fromFile.Is64Bit() == resources.Is64Bit());
    FUZZ_CHECK(SameNames(ListNames(fromFile, RT_GROUP_ICON), ListNames(resources, RT_GROUP_ICON)));
    FUZZ_CHECK(fromFile.CountNames(RT_GROUP_ICON) == resources.CountNames(RT_GROUP_ICON));
    FUZZ_CHECK(SameNames(ListNames(fromFile, RT_ICON), ListNames(resources, RT_ICON)));
}

// The routines that take a file name, against what the bytes hold.
void CheckFileRoutines(const std::string& path, std::span<const uint8_t> input, const TPEResourceReader& resources,
                       bool opened) {
    const ByteReader rd(input);

    bool isPE = false;
    const bool executable = IsExecutableFile(path, isPE);
    // "MZ", then "PE" or "NE" at the low 16 bits of the new header's offset.
    bool expectExecutable = false, expectPE = false;
    if (rd.u16le(0) == 0x5A4D) {
        if (const auto at = rd.u16le(60)) {
            const auto sig = rd.u16le(*at);
            expectPE = sig == 0x4550;
            expectExecutable = expectPE || sig == 0x454E;
        }
    }
    FUZZ_CHECK(executable == expectExecutable);
    if (executable) FUZZ_CHECK(isPE == expectPE);

    const int moduleIcons = CountModuleIcons(path);
    FUZZ_CHECK(moduleIcons >= 0);
    if (!executable) FUZZ_CHECK(moduleIcons == 0);
    if (executable && !isPE) FUZZ_CHECK(moduleIcons == T16BitReader::CountGroupIcons(TSpanSource(input)));
    // The directory reader takes the new header's offset whole; the signature test only its
    // low half. They look at the same header when the high half is 0.
    const auto newHeader = rd.u32le(0x3C);
    if (executable && isPE && newHeader && *newHeader <= 0xFFFF) {
        const int expected = opened ? static_cast<int>(resources.CountNames(RT_GROUP_ICON)) : 0;
        FUZZ_CHECK(moduleIcons == expected);
    }

    const int icons = CountIcons(path);
    if (rd.u16le(0) == 0x5A4D) {
        // A file that begins with "MZ" is never taken for an .ico file.
        FUZZ_CHECK(icons == moduleIcons);
    } else {
        FUZZ_CHECK(moduleIcons == 0);
        const auto reserved = rd.u16le(0), type = rd.u16le(2), count = rd.u16le(4);
        const bool ico = reserved == 0 && type == 1 && count && *count > 0 &&
                         rd.has(TIconDir::Size, uint64_t{*count} * TIconDirEntry::Size);
        FUZZ_CHECK(icons == (ico ? 1 : 0));
    }
}

// T32BitReader on the file name (read in pages) against the reader of the bytes in memory.
void CheckFileReader(const std::string& path, TIconList& expected, bool read, bool raised) {
    T32BitReader fromFile(path);
    bool fileRead = false, fileRaised = false;
    try {
        fileRead = fromFile.ReadIcons();
    } catch (const std::exception&) {
        fileRaised = true;
    }
    FUZZ_CHECK(fileRaised == raised);
    if (!raised) FUZZ_CHECK(fileRead == read);
    TIconList& icons = fromFile.Icons();
    FUZZ_CHECK(icons.Count() == expected.Count());
    for (int i = 0; i < icons.Count(); ++i) {
        FUZZ_CHECK(icons.Name(i) == expected.Name(i));
        CheckSameImages(*expected.Icon(i), *icons.Icon(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);

    TPEResourceReader resources;
    const bool opened = resources.Open(input);
    std::vector<TResourceName> groups;
    if (opened) {
        // Names adding up to more than the input are reported; reading the icons then raises.
        if (auto names = ListNames(resources, RT_GROUP_ICON)) {
            groups = std::move(*names);
            ExerciseDirectory(resources, input, groups);
        }
    } else {
        FUZZ_CHECK(resources.Names(RT_GROUP_ICON).empty());
        FUZZ_CHECK(resources.CountNames(RT_GROUP_ICON) == 0);
    }

    T32BitReader reader("fuzz.dll", input);
    bool read = false, raised = false;
    try {
        read = reader.ReadIcons();
    } catch (const std::exception&) {
        // A group that names a missing image or is cut short: the icons before it stay.
        raised = true;
    }
    if (!raised) FUZZ_CHECK(read == opened);
    if (!opened) FUZZ_CHECK(!raised);

    TIconList& icons = reader.Icons();
    TPixelTally tally;
    for (int i = 0; i < icons.Count(); ++i) tally.Add(*icons.Icon(i));
    if (tally.TooMany()) return 0;
    FUZZ_CHECK(static_cast<size_t>(icons.Count()) <= groups.size());
    if (read) FUZZ_CHECK(static_cast<size_t>(icons.Count()) == groups.size());
    for (int i = 0; i < icons.Count(); ++i) {
        FUZZ_CHECK(icons.Name(i) == ListName(groups[static_cast<size_t>(i)], i));
        const TAdvancedIcon* icon = icons.Icon(i);
        FUZZ_CHECK(icon != nullptr);
        for (int k = 0; k < icon->Images().Count(); ++k) {
            const TIconImage* image = icon->Images().GetItem(k);
            FUZZ_CHECK(image != nullptr);
            FUZZ_CHECK(image->Data().size() <= size);
            ExerciseImage(*image);
        }
        SaveAndReload(*icon);
    }

    const std::string path = fuzz::WriteInput(input, "pe_fuzz", ".dll");
    if (path.empty()) return 0;
    CheckFileSource(path, input, resources, opened);
    CheckFileRoutines(path, input, resources, opened);
    CheckFileReader(path, icons, read, raised);
    return 0;
}
