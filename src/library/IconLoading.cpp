#include "library/IconLoading.h"

#include "base/ByteReader.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"
#include "library/Reader16.h"

namespace pictavo {

int CountModuleIcons(const std::string& FileName) noexcept {
    try {
        bool isPE = false;
        if (!IsExecutableFile(FileName, isPE)) return 0;
        // The map is only touched where the headers and the directory lie.
        const TMappedFile file(FileName, TMappedFile::TAccess::Lazy);
        if (!isPE) return T16BitReader::CountGroupIcons(file.Bytes());
        TPEResourceReader reader;
        if (!reader.Open(file.Bytes())) return 0;
        return static_cast<int>(reader.CountNames(RT_GROUP_ICON));
    } catch (...) {
        return 0;
    }
}

namespace {

// True when the file would load as an .ico file with at least one image: an icon header
// with a count of at least one and a directory the file holds whole.
bool IcoHasImages(const std::string& FileName) {
    const TMappedFile file(FileName, TMappedFile::TAccess::Lazy);
    const ByteReader rd(file.Bytes());
    const auto reserved = rd.u16le(0), type = rd.u16le(2), count = rd.u16le(4);
    if (!reserved || !type || !count || *reserved != 0 || *type != 1 || *count == 0) return false;
    return rd.has(TIconDir::Size, uint64_t{*count} * TIconDirEntry::Size);
}

std::string UniqueIn(const TIconList& list, std::string name) {
    while (list.IndexOf(name) >= 0) name += "_1";
    return name;
}

}  // namespace

int CountIcons(const std::string& FileName) noexcept {
    try {
        const int n = CountModuleIcons(FileName);
        if (n > 0) return n;
        return IcoHasImages(FileName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int LoadIcons(const std::string& FileName, TIconLibrary& Target) {
    TIconLibrary temp;
    temp.LoadFromFile(FileName);
    TIconList& icons = temp.Icons();
    if (icons.Count() > 0) {
        for (int i = 0; i < icons.Count(); ++i)
            Target.Icons().AddIcon(UniqueIn(Target.Icons(), icons.Name(i)), icons.Take(i));
        return icons.Count();
    }
    auto icon = std::make_unique<TAdvancedIcon>();
    icon->LoadFromFile(FileName);
    if (icon->Images().Count() == 0) return 0;
    Target.Icons().AddIcon(UniqueIn(Target.Icons(), ChangeFileExtToNone(ExtractFileName(FileName))), std::move(icon));
    return 1;
}

}  // namespace pictavo
