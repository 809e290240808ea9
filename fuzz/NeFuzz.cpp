// libFuzzer target for 16-bit (NE) executables and .icl icon libraries: read arbitrary bytes
// with T16BitReader, put every icon read through what the viewer does with it (decode, label,
// draw), then write the library again with T16BitWriter and read the result back.
// Besides the sanitizers it checks a few invariants and traps when one breaks:
//   - ReadIcons never raises; it fails with a reason and no icons, or succeeds with as many
//     icons as CountGroupIcons counts and no reason;
//   - reading the file (written under /dev/shm, one per process, removed at exit; its images
//     share the file's bytes) gives what reading the bytes in memory gives (one copy of them), down to
//     the decoded pixels;
//   - a decoded raster has Width x Height colour and mask entries and the entry's size;
//   - the writer refuses only libraries it is documented to refuse (an image without bytes,
//     more distinct images than the 15-bit identifiers allow: images over the same bytes are
//     one resource);
//   - the written file reads back with the same icons in the same order, the same names (as
//     far as GB18030 and the 255-byte limit keep them), the same image count and the same
//     image bytes and entries; and writing what was read back gives the same file.
//
// An exception from ReadIcons or from anywhere but the writer's refusal is a bug and is left
// to escape, which libFuzzer reports as a crash.

#include "FuzzCommon.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "icons/IconTools.h"
#include "library/IconLibrary.h"
#include "library/Reader16.h"
#include "library/Writer16.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

// The reader of the file against the reader of the bytes: the same outcome, names, images
// and pixels.
void CheckFileReader(std::span<const uint8_t> input, T16BitReader& memory, bool read) {
    const std::string path = fuzz::WriteInput(input, "ne_fuzz", ".icl");
    if (path.empty()) return;
    T16BitReader file(path);
    FUZZ_CHECK(file.ReadIcons() == read);
    if (!read) return;
    TIconList& a = memory.Icons();
    TIconList& b = file.Icons();
    FUZZ_CHECK(a.Count() == b.Count());
    for (int i = 0; i < a.Count(); ++i) {
        // The same name from the names table, or each its generated one (made from the file
        // name, which differs).
        const auto* ai = dynamic_cast<const TICL16Icon*>(a.Icon(i));
        const auto* bi = dynamic_cast<const TICL16Icon*>(b.Icon(i));
        FUZZ_CHECK(ai && bi);
        FUZZ_CHECK(a.Name(i) == b.Name(i) || (a.Name(i) == ai->Name && b.Name(i) == bi->Name));
        FUZZ_CHECK(a.Icon(i)->Images().Count() == b.Icon(i)->Images().Count());
        for (int k = 0; k < a.Icon(i)->Images().Count(); ++k) {
            const TIconImage* x = a.Icon(i)->Images().GetItem(k);
            const TIconImage* y = b.Icon(i)->Images().GetItem(k);
            FUZZ_CHECK(SameBytes(x->Data(), y->Data()));
            FUZZ_CHECK(x->Info() == y->Info());
            FUZZ_CHECK(x->Width() == y->Width() && x->Height() == y->Height());
            ExerciseImage(*y);
            FUZZ_CHECK(SameRaster(x->GetHandle(), y->GetHandle()));
        }
    }
}

// The name an icon should have after a trip through a library file: what the writer stores
// (GB18030, at most 255 bytes, "图标 N" for nothing), read back.
std::string NameAfterTrip(const std::string& name, int index) {
    std::string stored = Utf8ToGb18030(name, 255);
    if (stored.empty()) stored = Utf8ToGb18030(Format("图标 %d", index + 1));
    return Gb18030ToUtf8(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
}

// Every icon of a successful read: generated names, the images, the viewer's work.
// Returns the number of images, how many of them hold distinct bytes (what the writer makes
// resources of) and whether one has an empty bytes-in-resource field.
uint64_t ExerciseIcons(TIconList& icons, size_t inputSize, uint64_t& distinct, bool& emptyImage) {
    uint64_t images = 0;
    std::set<std::pair<const uint8_t*, size_t>> bytes;
    emptyImage = false;
    for (int i = 0; i < icons.Count(); ++i) {
        FUZZ_CHECK(!icons.Name(i).empty());
        const auto* icon = dynamic_cast<const TICL16Icon*>(icons.Icon(i));
        FUZZ_CHECK(icon != nullptr);
        FUZZ_CHECK(icon->Name == Format("fuzz %.3d", i + 1));
        for (int k = 0; k < icon->Images().Count(); ++k) {
            const TIconImage* image = icon->Images().GetItem(k);
            FUZZ_CHECK(image != nullptr);
            FUZZ_CHECK(image->HasData() == (image->Info().BytesInRes > 0));
            FUZZ_CHECK(image->Data().size() <= inputSize);
            if (image->Info().BytesInRes == 0)
                emptyImage = true;
            else
                bytes.emplace(image->Data().data(), image->Data().size());
            ExerciseImage(*image);
        }
        images += icon->Images().Count();
    }
    distinct = bytes.size();
    return images;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);

    const int groups = T16BitReader::CountGroupIcons(TSpanSource(input));
    FUZZ_CHECK(groups >= 0);

    T16BitReader reader("fuzz.icl", input);
    const bool read = reader.ReadIcons();
    TPixelTally tally;
    for (int i = 0; i < reader.Icons().Count(); ++i) tally.Add(*reader.Icons().Icon(i));
    if (tally.TooMany()) return 0;
    CheckFileReader(input, reader, read);
    if (!read) {
        FUZZ_CHECK(!reader.LastError().empty());
        FUZZ_CHECK(reader.Icons().Count() == 0);
        return 0;
    }
    FUZZ_CHECK(reader.LastError().empty());
    FUZZ_CHECK(reader.Icons().Count() == groups);

    bool emptyImage = false;
    uint64_t distinct = 0;
    const uint64_t images = ExerciseIcons(reader.Icons(), size, distinct, emptyImage);

    TIconLibrary library;
    library.Icons().Assign(reader.Icons());
    FUZZ_CHECK(reader.Icons().Count() == 0);
    FUZZ_CHECK(library.Icons().Count() == groups);
    if (images == 0) return 0;

    T16BitWriter writer(library);
    const std::vector<uint8_t>* written = nullptr;
    try {
        written = &writer.Build();
    } catch (const EICLReadError&) {
        // Refused: only for what the layout cannot hold. The input is too small to need a
        // shift the writer does not allow.
        FUZZ_CHECK(emptyImage || distinct > kMaxICLImages);
        return 0;
    }
    FUZZ_CHECK(!emptyImage && distinct <= kMaxICLImages);

    // Read what was written and compare with the library it came from.
    const TIconList& source = library.Icons();
    FUZZ_CHECK(T16BitReader::CountGroupIcons(TSpanSource(*written)) == source.Count());
    T16BitReader back("fuzz.icl", *written);
    if (!back.ReadIcons()) {
        std::fprintf(stderr, "ne_fuzz: the written library does not read back: %s\n", back.LastError().c_str());
        __builtin_trap();
    }
    TIconList& reread = back.Icons();
    FUZZ_CHECK(reread.Count() == source.Count());
    for (int i = 0; i < source.Count(); ++i) {
        FUZZ_CHECK(reread.Name(i) == NameAfterTrip(source.Name(i), i));
        const TAdvancedIcon* a = source.Icon(i);
        const TAdvancedIcon* b = reread.Icon(i);
        FUZZ_CHECK(a->Images().Count() == b->Images().Count());
        for (int k = 0; k < a->Images().Count(); ++k) {
            const TIconImage* x = a->Images().GetItem(k);
            const TIconImage* y = b->Images().GetItem(k);
            FUZZ_CHECK(SameBytes(x->Data(), y->Data()));
            FUZZ_CHECK(x->Info() == y->Info());
            FUZZ_CHECK(x->Width() == y->Width() && x->Height() == y->Height());
        }
    }

    // Writing what was read back gives the same file.
    TIconLibrary again;
    again.Icons().Assign(reread);
    T16BitWriter rewriter(again);
    FUZZ_CHECK(rewriter.Build() == *written);
    FUZZ_CHECK(rewriter.AlignShift() == writer.AlignShift());
    return 0;
}
