// libFuzzer target for .ico files: load arbitrary bytes as an icon and put every image through
// what the viewer does with it (decode, label, draw, graphic, sort, copy, save and reload).
// Besides the sanitizers it checks a few invariants and traps when one breaks:
//   - a decoded raster has Width x Height colour and mask entries and the entry's size;
//   - sorting keeps the same images and leaves them in order;
//   - a copy made with Assign holds the same bytes and pixels;
//   - saving the icon and loading the result gives back the same images, byte for byte,
//     and saving that again gives the same file.
//
// Exceptions from loading are expected (a directory cut short raises EReadError); the images
// read before the error are still exercised. Exceptions anywhere else are bugs and are left
// to escape, which libFuzzer reports as a crash.

#include "FuzzCommon.h"
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "icons/IconTools.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

using Compare = bool (*)(const TIconImage*, const TIconImage*);

// a comes strictly before b in the width-then-depth order.
bool LessBySize(const TIconImage* a, const TIconImage* b) {
    if (a->Width() != b->Width()) return a->Width() < b->Width();
    return a->Depth() < b->Depth();
}

bool LessByDepth(const TIconImage* a, const TIconImage* b) {
    if (a->Depth() != b->Depth()) return a->Depth() < b->Depth();
    return a->Width() < b->Width();
}

std::multiset<const TIconImage*> Members(const TIconImageList& list) {
    std::multiset<const TIconImage*> members;
    for (int i = 0; i < list.Count(); ++i) members.insert(list.GetItem(i));
    return members;
}

void CheckSorted(const TIconImageList& list, const std::multiset<const TIconImage*>& before, Compare less) {
    FUZZ_CHECK(Members(list) == before);
    for (int i = 1; i < list.Count(); ++i) FUZZ_CHECK(!less(list.GetItem(i), list.GetItem(i - 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSpanStream input(std::span<const uint8_t>(data, size));
    TAdvancedIcon icon;
    try {
        icon.LoadFromStream(input);
    } catch (const std::exception&) {
        // A directory cut short: what was read so far is still an icon's worth of images.
    }
    TPixelTally tally;
    tally.Add(icon);
    if (tally.TooMany()) return 0;

    TIconImageList& images = icon.Images();
    for (int i = 0; i < images.Count(); ++i) {
        const TIconImage* image = images.GetItem(i);
        FUZZ_CHECK(image != nullptr);
        FUZZ_CHECK(image->Data().size() <= size);
        ExerciseImage(*image);
    }

    const auto members = Members(images);
    images.SortBySize();
    CheckSorted(images, members, LessBySize);
    images.SortByDepth();
    CheckSorted(images, members, LessByDepth);

    // A copy: the same bytes and the same pixels, independent of the original.
    std::unique_ptr<TAdvancedIcon> copy = icon.Create();
    copy->Assign(icon);
    CheckSameImages(icon, *copy);
    for (int i = 0; i < images.Count(); ++i) {
        const TIconImage* image = copy->Images().GetItem(i);
        FUZZ_CHECK(SameRaster(image->GetHandle(), images.GetItem(i)->GetHandle()));
        // Pixels never change, so the copy shares the original's.
        FUZZ_CHECK(image->GetHandle() == images.GetItem(i)->GetHandle());
        ExerciseImage(*image);
    }
    // Save and load again.
    TMemoryStream saved;
    copy->SaveToStream(saved);
    if (copy->Images().Count() == 0) {
        FUZZ_CHECK(saved.Size() == 0);
        return 0;
    }
    TMemoryStream savedOriginal;
    icon.SaveToStream(savedOriginal);
    FUZZ_CHECK(savedOriginal.Data() == saved.Data());

    TSpanStream reread(std::span<const uint8_t>(saved.Data()));
    TAdvancedIcon reloaded;
    FUZZ_CHECK(reloaded.LoadFromStream(reread));
    CheckSameImages(*copy, reloaded);
    for (int i = 0; i < reloaded.Images().Count(); ++i) {
        const TIconImage* image = reloaded.Images().GetItem(i);
        FUZZ_CHECK(SameRaster(image->GetHandle(), copy->Images().GetItem(i)->GetHandle()));
    }

    TMemoryStream savedAgain;
    reloaded.SaveToStream(savedAgain);
    FUZZ_CHECK(savedAgain.Data() == saved.Data());

    // The copy sorts on its own; equal keys may land in another order than the original's.
    const auto copyMembers = Members(copy->Images());
    copy->Images().SortBySize();
    CheckSorted(copy->Images(), copyMembers, LessBySize);
    copy->Images().SortByDepth();
    CheckSorted(copy->Images(), copyMembers, LessByDepth);
    return 0;
}
