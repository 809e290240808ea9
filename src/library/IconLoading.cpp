#include "library/IconLoading.h"

#include "base/ByteSource.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"
#include "library/Reader16.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace pictavo {

namespace {

// Group icons of an executable whose signature word (the low half of the new header's offset
// at 60) points at "PE" or "NE"; -1 for a file that does not begin with "MZ".
int CountModuleGroups(const TByteSource& file) {
    bool isPE = false;
    if (!IsExecutableFile(file, isPE)) return file.U16(0) == 0x5A4D ? 0 : -1;
    if (!isPE) return T16BitReader::CountGroupIcons(file);
    TPEResourceReader reader;
    return reader.Open(file) ? static_cast<int>(reader.CountNames(RT_GROUP_ICON)) : 0;
}

// Names made unique in a list: "_1" is appended while the list holds the name (ASCII case
// ignored). The list's names are looked up in a set instead of scanning the list for every
// name, and a name that comes again resumes where its last search ended (the names passed
// then are still taken), so the cost follows the length of the names made, not the square of
// the icons of a file.
class TUniqueNames {
public:
    explicit TUniqueNames(const TIconList& list) {
        for (int i = 0; i < list.Count(); ++i) Add(list.Name(i));
    }
    std::string Make(std::string name) {
        std::string folded = LowerAscii(name);
        size_t& suffixes = FResume[folded];
        for (size_t k = 0; k < suffixes; ++k) {
            name += "_1";
            folded += "_1";
        }
        for (; FTaken.count(folded); ++suffixes) {
            name += "_1";
            folded += "_1";
        }
        return name;
    }
    // A name the list now holds (as AddIcon stored it).
    void Add(const std::string& name) { FTaken.insert(LowerAscii(name)); }

private:
    std::unordered_set<std::string> FTaken;
    std::unordered_map<std::string, size_t> FResume;
};

}  // namespace

int CountModuleIcons(const TByteSource& File) noexcept {
    try {
        return std::max(CountModuleGroups(File), 0);
    } catch (...) {
        return 0;
    }
}

// Both counts read the file through one descriptor, a few pages where the headers and the
// tables lie; nothing else of the file is read.
int CountModuleIcons(const std::string& FileName) noexcept {
    try {
        const TFileSource file(FileName);
        return file.Valid() ? CountModuleIcons(file) : 0;
    } catch (...) {
        return 0;
    }
}

int CountIcons(const std::string& FileName) noexcept {
    try {
        const TFileSource file(FileName);
        if (!file.Valid()) return 0;
        const int groups = CountModuleGroups(file);
        if (groups >= 0) return groups;  // an executable is never an .ico file
        // An .ico file loads with at least one image when its header is an icon header with a
        // count of at least one and the file holds the whole directory.
        const auto reserved = file.U16(0), type = file.U16(2), count = file.U16(4);
        if (reserved != 0 || type != 1 || !count || *count == 0) return 0;
        return file.Size() >= TIconDir::Size + uint64_t{*count} * TIconDirEntry::Size ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int LoadIcons(const std::string& FileName, TIconLibrary& Target) {
    TIconLibrary temp;
    temp.LoadFromFile(FileName);
    TIconList& icons = temp.Icons();
    if (icons.Count() > 0) {
        TUniqueNames names(Target.Icons());
        for (int i = 0; i < icons.Count(); ++i) {
            Target.Icons().AddIcon(names.Make(icons.Name(i)), icons.Take(i));
            names.Add(Target.Icons().Name(Target.Icons().Count() - 1));
        }
        return icons.Count();
    }
    auto icon = std::make_unique<TAdvancedIcon>();
    icon->LoadFromFile(FileName);
    if (icon->Images().Count() == 0) return 0;
    Target.Icons().AddIcon(TUniqueNames(Target.Icons()).Make(ChangeFileExtToNone(ExtractFileName(FileName))),
                           std::move(icon));
    return 1;
}

}  // namespace pictavo
